// linkbeacon-cli fetch over https: --cacert, --insecure and the "TLS" section
// of zkt.ini in the folder it runs in.
#include "support/CliRun.h"
#include "support/TargetSim.h"
#include "support/TestCertificates.h"

#include "common/IniFile.h"
#include "common/TlsSettings.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using lb::test::CliResult;
using lb::test::runCli;
using lb::test::TargetSim;
using lb::test::TestCertificates;

namespace {

CliResult fetchIn(const QString& dir, const QStringList& args) {
    return runCli(dir, QStringList{"fetch"} + args);
}

} // namespace

TEST(FetchTlsCli, CacertInsecureAndTheirFailures) {
    TestCertificates certs;
    ASSERT_TRUE(certs.ok());
    TargetSim sim({"--tls-port", "0", "--cert", certs.serverCert(), "--key", certs.serverKey()});
    ASSERT_TRUE(sim.ok());
    QTemporaryDir folder;

    CliResult r = fetchIn(folder.path(), {"--cacert", certs.caFile(), sim.tlsUrl("/bytes/5")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "abcde");
    EXPECT_EQ(r.lastErrLine(), "status: 200 OK");

    r = fetchIn(folder.path(), {sim.tlsUrl("/bytes/5")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.lastErrLine(),
              "status: 404 TLS: certificate verify failed: unable to get local issuer certificate");

    r = fetchIn(folder.path(), {"--insecure", sim.tlsUrl("/bytes/3")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "abc");

    // A CA file that cannot be read, or holds no certificate: nothing is fetched.
    const int before = sim.requests().size();
    r = fetchIn(folder.path(), {"--cacert", folder.filePath("missing.pem"), sim.url("/")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err.count('\n'), 1);
    QFile junk(folder.filePath("junk.pem"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a certificate\n");
    junk.close();
    r = fetchIn(folder.path(), {"--cacert", junk.fileName(), sim.url("/")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err.count('\n'), 1);
    r = fetchIn(folder.path(), {"--cacert"});
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
    CliResult r = fetchIn(folder.path(), {sim.tlsUrl("/bytes/4")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "abcd");

    settings.caFile = "certs/none.pem";
    settings.save(folder.path());
    r = fetchIn(folder.path(), {sim.tlsUrl("/bytes/4")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.lastErrLine(),
              "status: 404 TLS: cannot read CA file " + folder.filePath("certs/none.pem"));

    settings.caFile.clear();
    settings.verify = false;
    settings.save(folder.path());
    const lb::IniFile ini(folder.filePath("zkt.ini"));
    EXPECT_EQ(ini.readString("TLS", "Verify"), "0");
    r = fetchIn(folder.path(), {sim.tlsUrl("/bytes/2")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "ab");
}

TEST(TlsSettingsFile, DefaultsAndValuesAsWritten) {
    QTemporaryDir folder;
    lb::TlsSettings s = lb::TlsSettings::load(folder.path());
    EXPECT_TRUE(s.verify);
    EXPECT_TRUE(s.caFile.isEmpty());
    EXPECT_TRUE(s.caFilePath(folder.path()).isEmpty());

    lb::IniFile ini(folder.filePath("zkt.ini"));
    ini.writeString("tls", "cafile", "/etc/extra.pem");
    ini.writeString("TLS", "Verify", "no");
    s = lb::TlsSettings::load(folder.path());
    EXPECT_TRUE(s.verify); // only "0" switches the checks off
    EXPECT_EQ(s.caFilePath(folder.path()), "/etc/extra.pem");
    ini.writeString("TLS", "CAFile", "\\data\\roots.pem");
    ini.writeString("TLS", "Verify", "0");
    s = lb::TlsSettings::load(folder.path());
    EXPECT_FALSE(s.verify);
    EXPECT_EQ(s.caFilePath(folder.path()), folder.path() + "/data/roots.pem");
}
