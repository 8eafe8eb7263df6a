// linkbeacon-cli fetch as a user runs it, over http and https (--cacert,
// --insecure and the "TLS" section of zkt.ini in the folder it runs in).
#include "common/IniFile.h"
#include "common/TlsSettings.h"
#include "support/CliRun.h"
#include "support/TargetSim.h"
#include "support/TestCertificates.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using lb::test::CliResult;
using lb::test::runCli;
using lb::test::TargetSim;
using lb::test::TestCertificates;

namespace {

CliResult fetch(const QStringList& args, const QString& dir = QString()) {
    return runCli(dir, QStringList{"fetch"} + args);
}

} // namespace

TEST(FetchCli, BodyToStdoutAndStatusLast) {
    TargetSim sim;
    ASSERT_TRUE(sim.ok());
    const CliResult r = fetch({sim.url("/bytes/30")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "abcdefghijklmnopqrstuvwxyzabcd");
    EXPECT_EQ(r.lastErrLine(), "status: 200 OK");
}

TEST(FetchCli, FailureStatusGivesExitOne) {
    TargetSim sim;
    ASSERT_TRUE(sim.ok());
    CliResult r = fetch({sim.url("/status/404/Not%20Found")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.lastErrLine(), "status: 404 Not Found");
    r = fetch({"http://no-such-target.invalid/"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.lastErrLine(), "status: 404 can't resolve hostname to IP address");
}

TEST(FetchCli, PostTraceAndOptionsReachTheServer) {
    TargetSim sim;
    ASSERT_TRUE(sim.ok());
    const CliResult r = fetch({"--trace", "--post", "a=1&b=2", "--user", "u:p", "--referer",
                               "http://ref.example/", sim.url("/redirect/1")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("StateChange hsWaitingHeader\n"));
    EXPECT_TRUE(r.err.contains("HeaderData HTTP/1.0 302 Found\n"));
    EXPECT_TRUE(r.err.contains("LocationChange http://127.0.0.1/redirect/0\n"));
    EXPECT_TRUE(r.err.contains("RequestDone 0\n"));
    EXPECT_EQ(r.lastErrLine(), "status: 200 OK");
    const auto reqs = sim.requests();
    ASSERT_EQ(reqs.size(), 2);
    for (const auto& q : reqs) {
        EXPECT_EQ(q.value("method").toString(), "POST");
        EXPECT_EQ(q.value("body").toString(), "a=1&b=2"); // sent again after the redirection
    }
}

TEST(FetchCli, ProxyOption) {
    TargetSim sim;
    ASSERT_TRUE(sim.ok());
    const CliResult r = fetch({"--proxy", QStringLiteral("127.0.0.1:%1").arg(sim.port()),
                               "--proxy-user", "pu:pp", "http://far.example/status/200/OK"});
    EXPECT_EQ(r.exitCode, 0);
    const auto reqs = sim.requests();
    ASSERT_EQ(reqs.size(), 1);
    EXPECT_EQ(reqs[0].value("target").toString(), "http://far.example/status/200/OK");
}

TEST(FetchCli, TimeoutAbortsAStallingServer) {
    TargetSim sim;
    ASSERT_TRUE(sim.ok());
    CliResult r = fetch({"--timeout", "0.5", sim.url("/hang")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.lastErrLine(), "status: 404 Connection aborted on request");
    // A server that answers in time is not disturbed by the timer.
    r = fetch({"--timeout", "20", sim.url("/bytes/4")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "abcd");
    EXPECT_EQ(r.lastErrLine(), "status: 200 OK");
}

TEST(FetchCli, AnswerWithoutCompleteHeaderFails) {
    TargetSim sim;
    ASSERT_TRUE(sim.ok());
    CliResult r = fetch({sim.url("/close")}); // nothing at all
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.lastErrLine(), "status: 0");
    r = fetch({sim.url("/close-in-header")}); // status line, then the connection ends
    EXPECT_EQ(r.exitCode, 1);
    // After a redirection only the last answer's header counts.
    r = fetch({sim.url("/redirect-to?url=/close-in-header")});
    EXPECT_EQ(r.exitCode, 1);
}

TEST(FetchCli, BadArgumentsGiveExitTwo) {
    for (const QStringList& args :
         {QStringList{}, QStringList{"--post"}, QStringList{"--user", "nocolon", "http://x/"},
          QStringList{"--timeout", "0", "http://x/"}, QStringList{"--timeout", "soon", "http://x/"},
          QStringList{"--timeout"}, QStringList{"--nonsense", "http://x/"},
          QStringList{"http://a/", "http://b/"}}) {
        const CliResult r = fetch(args);
        EXPECT_EQ(r.exitCode, 2) << qPrintable(args.join(' '));
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.constData();
    }
}

TEST(FetchTlsCli, CacertInsecureAndTheirFailures) {
    TestCertificates certs;
    ASSERT_TRUE(certs.ok());
    TargetSim sim({"--tls-port", "0", "--cert", certs.serverCert(), "--key", certs.serverKey()});
    ASSERT_TRUE(sim.ok());
    QTemporaryDir folder;

    CliResult r = fetch({"--cacert", certs.caFile(), sim.tlsUrl("/bytes/5")}, folder.path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "abcde");
    EXPECT_EQ(r.lastErrLine(), "status: 200 OK");

    r = fetch({sim.tlsUrl("/bytes/5")}, folder.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.lastErrLine(),
              "status: 404 TLS: certificate verify failed: unable to get local issuer certificate");

    r = fetch({"--insecure", sim.tlsUrl("/bytes/3")}, folder.path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "abc");

    // A CA file that cannot be read, or holds no certificate: nothing is fetched.
    const int before = sim.requests().size();
    r = fetch({"--cacert", folder.filePath("missing.pem"), sim.url("/")}, folder.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err.count('\n'), 1);
    QFile junk(folder.filePath("junk.pem"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a certificate\n");
    junk.close();
    r = fetch({"--cacert", junk.fileName(), sim.url("/")}, folder.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err.count('\n'), 1);
    r = fetch({"--cacert"}, folder.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(sim.requests().size(), before);
}

TEST(FetchTlsCli, TakesTheTlsSectionOfTheIniInTheCurrentFolder) {
    TestCertificates certs;
    ASSERT_TRUE(certs.ok());
    TargetSim sim({"--tls-port", "0", "--cert", certs.serverCert(), "--key", certs.serverKey()});
    ASSERT_TRUE(sim.ok());
    QTemporaryDir folder;
    ASSERT_TRUE(QDir(folder.path()).mkpath("certs"));
    ASSERT_TRUE(QFile::copy(certs.caFile(), folder.filePath("certs/ca.pem")));

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
    const lb::IniFile ini(folder.filePath("zkt.ini"));
    EXPECT_EQ(ini.readString("TLS", "Verify"), "0");
    r = fetch({sim.tlsUrl("/bytes/2")}, folder.path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "ab");
}
