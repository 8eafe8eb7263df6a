// linkbeacon-cli fetch as a user runs it: arguments, the "TLS" section of
// zkt.ini in the folder it runs in, hostile answers with its peak memory.
#include "support/CliRun.h"
#include "support/Files.h"
#include "support/PeakMemory.h"
#include "support/TargetSim.h"
#include "support/TestCertificates.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

using lb::test::sharedCertificates;

// Arguments → exit code, body on stdout ("*": not compared), the end of
// stderr ("": not compared) and the last request target-sim saw ("": not
// compared). Usage errors print one line and fetch nothing. Rows that
// measure run with stdout thrown away and their peak memory bounded.
TEST(FetchCli, ArgumentsExitCodesAndOutput) {
    ASSERT_TRUE(sharedCertificates().ok());
    lb::test::TargetSim sim(lb::test::simTlsArgs());
    ASSERT_TRUE(sim.ok());
    QTemporaryDir folder;
    lb::test::writeFile(folder.filePath("junk.pem"), "not a certificate\n");
    lb::test::writeFile(folder.filePath("certs/ca.pem"),
                        lb::test::readFile(sharedCertificates().caFile()));
    const QString ca = sharedCertificates().caFile();
    const QByteArray none = folder.filePath("certs/none.pem").toUtf8();
    const QByteArray warning =
        "warning: certificate checks are off (Verify=0 in section TLS of zkt.ini)\n";
    const QString proxy = QStringLiteral("127.0.0.1:%1").arg(sim.port());
    const auto u = [&](const char* path) { return sim.url(path); };
    const auto t = [&](const char* path) { return sim.tlsUrl(path); };
    struct Row {
        QStringList args;
        int exitCode;
        QByteArray out;
        QByteArray errEnd;
        QByteArray ini = {}; // the [TLS] section of zkt.ini, none when empty
        int warnings = 0;
        QString request = {}; // "METHOD target body"
        bool measure = false;
    };
    const QByteArray ok = "status: 200 OK\n";
    const QByteArray aborted = "status: 404 Connection aborted on request\n";
    const QByteArray unverified =
        "status: 404 TLS: certificate verify failed: unable to get local issuer certificate\n";
    const QByteArray tooLarge = "status: 404 HTTP header too large\n";
    const QStringList post{"--trace", "--post",    "a=1&b=2",          "--user",
                           "u:p",     "--referer", "http://r.example/"};
    // clang-format off
    const Row rows[] = {
        {{u("/bytes/30")}, 0, "abcdefghijklmnopqrstuvwxyzabcd", ok},
        {{u("/status/399/Odd")}, 0, "*", "status: 399 Odd\n"},
        {{u("/status/400/Bad")}, 1, "*", "status: 400 Bad\n"},
        {{"--timeout", "0.5", u("/hang")}, 1, "*", aborted},
        // A server that answers in time is not disturbed by the timer.
        {{"--timeout", "86400", u("/bytes/4")}, 0, "abcd", ok},
        // No complete header: nothing at all, a status line only, or so after a redirection.
        {{u("/close")}, 1, "*", "status: 0 \n"},
        {{u("/close-in-header")}, 1, "*", ok},
        {{u("/redirect-to?url=/close-in-header")}, 1, "*", ok},
        {{"--cacert", ca, t("/bytes/5")}, 0, "abcde", ok},
        {{t("/bytes/5")}, 1, "", unverified},
        // The body goes again after the redirection.
        {post + QStringList{u("/redirect/1")}, 0, "*", "DocEnd\nStateChange hsReady\nRequestDone 0\n" + ok, {}, 0, "POST /redirect/0 a=1&b=2"},
        {{"--proxy", proxy, "--proxy-user", "pu:pp", "http://far.example/bytes/2"}, 0, "ab", ok, {}, 0, "GET http://far.example/bytes/2 "},
        // Bodies cut short, with and without a length.
        {{u("/hostile/cut-body")}, 1, "*", ok + "error: body cut short (10 of 1000 bytes)\n"},
        {{"--cacert", ca, t("/no-close-notify/hostile/no-length/100")}, 1, "*", ok + "error: body cut short (100 bytes)\n"},
        // Endless answers end bounded in memory (stdout thrown away).
        {{"--timeout", "20", u("/hostile/endless-header")}, 1, "*", tooLarge, {}, 0, {}, true},
        {{"--timeout", "3", u("/hostile/endless-page")}, 1, "*", aborted, {}, 0, {}, true},
        {{u("/bytes/200000000")}, 0, "*", ok, {}, 0, {}, true},
        // The TLS section: a relative CA file is found under the folder;
        // checks turned off are said once per command that uses https.
        {{t("/bytes/4")}, 0, "abcd", ok, "CAFile=certs/ca.pem"},
        {{t("/bytes/4")}, 1, "", "CA file " + none + "\n", "CAFile=certs/none.pem"},
        {{t("/bytes/2")}, 0, "ab", ok, "Verify=0", 1},
        {{t("/redirect/2")}, 0, "*", ok, "Verify=0", 1},
        {{u("/bytes/2")}, 0, "ab", ok, "Verify=0", 0},
        {{"--insecure", t("/bytes/2")}, 0, "ab", ok, "Verify=1", 0},
        // Usage errors the command itself finds (the parser's own: CommandTableTest).
        {{}, 2, "", ""},
        {{"--user", "nocolon", "http://x/"}, 2, "", ""},
        {{"--proxy-user", "nocolon", "http://x/"}, 2, "", ""},
        {{"--timeout", "0", "http://x/"}, 2, "", ""},
        {{"--timeout", "86401", "http://x/"}, 2, "", ""},
        {{"--timeout", "soon", "http://x/"}, 2, "", ""},
        {{"http://a/", "http://b/"}, 2, "", ""},
        // A CA file that cannot be read, or holds no certificate.
        {{"--cacert", folder.filePath("missing.pem"), u("/")}, 2, "", ""},
        {{"--cacert", folder.filePath("junk.pem"), u("/")}, 2, "", ""},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE((row.ini + " " + row.args.join(' ').toUtf8()).toStdString());
        QFile::remove(folder.filePath("zkt.ini"));
        if (!row.ini.isEmpty())
            lb::test::writeFile(folder.filePath("zkt.ini"), "[TLS]\r\n" + row.ini + "\r\n");
        const int before = int(sim.requests().size());
        const QStringList args = QStringList{"fetch"} + row.args;
        lb::test::CliResult r;
        if (row.measure) {
            const lb::test::MeasuredRun m = lb::test::runMeasured(folder.path(), LB_CLI, args);
            r.exitCode = m.exitCode;
            r.err = m.err;
            if (lb::test::kPeakMemoryMeaningful)
                EXPECT_LT(m.peakKb, 100 * 1024);
        } else {
            r = lb::test::runCli(folder.path(), args);
        }
        EXPECT_EQ(r.exitCode, row.exitCode) << r.err.constData();
        if (row.out != "*")
            EXPECT_EQ(r.out, row.out);
        EXPECT_TRUE(r.err.endsWith(row.errEnd)) << r.err.constData();
        EXPECT_EQ(r.err.count(warning), row.warnings) << r.err.constData();
        if (row.warnings)
            EXPECT_TRUE(r.err.startsWith(warning));
        const QList<QJsonObject> requests = sim.requests();
        if (!row.request.isEmpty()) {
            ASSERT_GT(requests.size(), before);
            const QJsonObject& q = requests.last();
            EXPECT_EQ(q.value("method").toString() + " " + q.value("target").toString() + " " +
                          q.value("body").toString(),
                      row.request);
        }
        if (row.exitCode == 2) {
            EXPECT_EQ(r.err.count('\n'), 1) << r.err.constData();
            EXPECT_EQ(requests.size(), before);
        }
    }
}
