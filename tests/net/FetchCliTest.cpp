// linkbeacon-cli fetch as a user runs it, over http and https (--cacert,
// --insecure and the "TLS" section of zkt.ini in the folder it runs in).
#include "common/IniFile.h"
#include "common/TlsSettings.h"
#include "support/CliRun.h"
#include "support/Files.h"
#include "support/TargetSim.h"
#include "support/TestCertificates.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using lb::test::CliResult;
using lb::test::runCli;
using lb::test::sharedCertificates;
using lb::test::TargetSim;

namespace {

CliResult fetch(const QStringList& args, const QString& dir = QString()) {
    return runCli(dir, QStringList{"fetch"} + args);
}

} // namespace

// Arguments → exit code, body on stdout ("*": not compared) and the last
// line on stderr ("": not compared). Usage errors print one line and fetch nothing.
TEST(FetchCli, ArgumentsExitCodesAndOutput) {
    ASSERT_TRUE(sharedCertificates().ok());
    TargetSim sim(lb::test::simTlsArgs());
    ASSERT_TRUE(sim.ok());
    QTemporaryDir folder;
    lb::test::writeFile(folder.filePath("junk.pem"), "not a certificate\n");
    const QString ca = sharedCertificates().caFile();
    struct Row {
        QStringList args;
        int exitCode;
        QByteArray out;
        QString last;
    };
    const Row rows[] = {
        {{sim.url("/bytes/30")}, 0, "abcdefghijklmnopqrstuvwxyzabcd", "status: 200 OK"},
        {{sim.url("/status/404/Not%20Found")}, 1, "*", "status: 404 Not Found"},
        {{"http://no-such-target.invalid/"},
         1,
         "*",
         "status: 404 can't resolve hostname to IP address"},
        {{"--timeout", "0.5", sim.url("/hang")},
         1,
         "*",
         "status: 404 Connection aborted on request"},
        // A server that answers in time is not disturbed by the timer.
        {{"--timeout", "20", sim.url("/bytes/4")}, 0, "abcd", "status: 200 OK"},
        // No complete header: nothing at all, a status line only, or so after a redirection.
        {{sim.url("/close")}, 1, "*", "status: 0"},
        {{sim.url("/close-in-header")}, 1, "*", ""},
        {{sim.url("/redirect-to?url=/close-in-header")}, 1, "*", ""},
        {{"--cacert", ca, sim.tlsUrl("/bytes/5")}, 0, "abcde", "status: 200 OK"},
        {{sim.tlsUrl("/bytes/5")},
         1,
         "",
         "status: 404 TLS: certificate verify failed: unable to get local issuer certificate"},
        {{"--insecure", sim.tlsUrl("/bytes/3")}, 0, "abc", ""},
        {{}, 2, "", ""},
        {{"--post"}, 2, "", ""},
        {{"--user", "nocolon", "http://x/"}, 2, "", ""},
        {{"--timeout", "0", "http://x/"}, 2, "", ""},
        {{"--timeout", "soon", "http://x/"}, 2, "", ""},
        {{"--timeout"}, 2, "", ""},
        {{"--nonsense", "http://x/"}, 2, "", ""},
        {{"http://a/", "http://b/"}, 2, "", ""},
        // A CA file that cannot be read, or holds no certificate.
        {{"--cacert", folder.filePath("missing.pem"), sim.url("/")}, 2, "", ""},
        {{"--cacert", folder.filePath("junk.pem"), sim.url("/")}, 2, "", ""},
        {{"--cacert"}, 2, "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        const int before = int(sim.requests().size());
        const CliResult r = fetch(row.args, folder.path());
        EXPECT_EQ(r.exitCode, row.exitCode);
        if (row.out != "*")
            EXPECT_EQ(r.out, row.out);
        if (!row.last.isEmpty())
            EXPECT_EQ(r.lastErrLine(), row.last);
        if (row.exitCode == 2) {
            EXPECT_EQ(r.err.count('\n'), 1) << r.err.constData();
            EXPECT_EQ(sim.requests().size(), before);
        }
    }
}

TEST(FetchCli, PostTraceProxyAndCredentialsReachTheServer) {
    TargetSim sim;
    ASSERT_TRUE(sim.ok());
    CliResult r = fetch({"--trace", "--post", "a=1&b=2", "--user", "u:p", "--referer",
                         "http://ref.example/", sim.url("/redirect/1")});
    EXPECT_EQ(r.exitCode, 0);
    for (const char* line : {"StateChange hsWaitingHeader\n", "HeaderData HTTP/1.0 302 Found\n",
                             "LocationChange http://127.0.0.1/redirect/0\n", "RequestDone 0\n"})
        EXPECT_TRUE(r.err.contains(line)) << line;
    EXPECT_EQ(r.lastErrLine(), "status: 200 OK");
    auto reqs = sim.requests();
    ASSERT_EQ(reqs.size(), 2);
    for (const auto& q : reqs) {
        EXPECT_EQ(q.value("method").toString(), "POST");
        EXPECT_EQ(q.value("body").toString(), "a=1&b=2"); // sent again after the redirection
    }

    r = fetch({"--proxy", QStringLiteral("127.0.0.1:%1").arg(sim.port()), "--proxy-user", "pu:pp",
               "http://far.example/status/200/OK"});
    EXPECT_EQ(r.exitCode, 0);
    reqs = sim.requests();
    ASSERT_EQ(reqs.size(), 3);
    EXPECT_EQ(reqs[2].value("target").toString(), "http://far.example/status/200/OK");
}

TEST(FetchCli, TakesTheTlsSectionOfTheIniInTheCurrentFolder) {
    ASSERT_TRUE(sharedCertificates().ok());
    TargetSim sim(lb::test::simTlsArgs());
    ASSERT_TRUE(sim.ok());
    QTemporaryDir folder;
    ASSERT_TRUE(QDir(folder.path()).mkpath("certs"));
    ASSERT_TRUE(QFile::copy(sharedCertificates().caFile(), folder.filePath("certs/ca.pem")));

    // A relative CA file is found under the program folder.
    lb::TlsSettings settings;
    settings.caFile = "certs/ca.pem";
    settings.save(folder.path());
    CliResult r = fetch({sim.tlsUrl("/bytes/4")}, folder.path());
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "abcd");

    settings.caFile = "certs/none.pem";
    settings.save(folder.path());
    r = fetch({sim.tlsUrl("/bytes/4")}, folder.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.lastErrLine(),
              "status: 404 TLS: cannot read CA file " + folder.filePath("certs/none.pem"));

    settings.caFile.clear();
    settings.verify = false;
    settings.save(folder.path());
    EXPECT_EQ(lb::IniFile(folder.filePath("zkt.ini")).readString("TLS", "Verify"), "0");
    r = fetch({sim.tlsUrl("/bytes/2")}, folder.path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "ab");
}
