// The TLS settings under the proxy settings: shown from zkt.ini, chosen with
// the CA file chooser and the check box, written on Apply, and taken by
// every client created afterwards.
#include "common/IniFile.h"
#include "net/HttpProt.h"
#include "support/MainWindowTest.h"
#include "support/TargetSim.h"
#include "support/TestCertificates.h"

#include <QCheckBox>
#include <QLineEdit>

using namespace lb;

namespace {

class TlsPanelTest : public lb::test::MainWindowTest {
protected:
    IniFile ini() const { return IniFile(pf.dir.filePath("zkt.ini")); }
};

} // namespace

TEST_F(TlsPanelTest, ShowsTheStoredSettingsAndDefaults) {
    open();
    EXPECT_EQ(child<QLineEdit>("TlsCAFile")->text(), "");
    EXPECT_TRUE(child<QCheckBox>("TlsVerify")->isChecked());
    EXPECT_EQ(child<QCheckBox>("TlsVerify")->text(), "Verify certificates");
    w.reset();

    IniFile f = ini();
    f.writeString("TLS", "CAFile", "certs/ca.pem");
    f.writeString("TLS", "Verify", "0");
    open();
    EXPECT_EQ(child<QLineEdit>("TlsCAFile")->text(), "certs/ca.pem");
    EXPECT_FALSE(child<QCheckBox>("TlsVerify")->isChecked());
}

TEST_F(TlsPanelTest, ChooserAndApplyWriteTheSectionThatNewClientsUse) {
    lb::test::TestCertificates certs;
    ASSERT_TRUE(certs.ok());
    lb::test::TargetSim sim(
        {"--tls-port", "0", "--cert", certs.serverCert(), "--key", certs.serverKey()});
    ASSERT_TRUE(sim.ok());
    open();
    const int messagesAtStart = dialogs.texts().size();

    // A cancelled chooser leaves the edit alone.
    child<QPushButton>("TlsCAFileBrowse")->click();
    EXPECT_EQ(child<QLineEdit>("TlsCAFile")->text(), "");
    dialogs.fileNames << certs.caFile();
    child<QPushButton>("TlsCAFileBrowse")->click();
    EXPECT_EQ(child<QLineEdit>("TlsCAFile")->text(), certs.caFile());
    child<QCheckBox>("TlsVerify")->setChecked(false);
    child<QCheckBox>("TlsVerify")->click();
    child<QPushButton>("ProxyApply")->click();
    EXPECT_EQ(ini().readString("TLS", "CAFile"), certs.caFile());
    EXPECT_EQ(ini().readString("TLS", "Verify"), "1");
    EXPECT_EQ(ini().readString("Proxy", "KeyProxy"), "0");
    EXPECT_EQ(dialogs.texts().size(), messagesAtStart); // written without complaint

    // A client created now trusts the chosen CA and fetches over https.
    net::THttpCli client;
    EXPECT_EQ(client.Tls.caFiles, QStringList{certs.caFile()});
    EXPECT_TRUE(client.Tls.verify);
    client.URL = sim.tlsUrl("/bytes/6");
    QByteArray body;
    client.OnDocData = [&](net::THttpCli*, const char* p, int n) { body.append(p, n); };
    client.Get();
    EXPECT_EQ(client.StatusCode(), 200);
    EXPECT_EQ(body, "abcdef");

    // Unchecked: stored as "0", and the next client checks nothing.
    child<QLineEdit>("TlsCAFile")->clear();
    child<QCheckBox>("TlsVerify")->click();
    child<QPushButton>("ProxyApply")->click();
    EXPECT_EQ(ini().readString("TLS", "Verify"), "0");
    net::THttpCli unchecked;
    EXPECT_FALSE(unchecked.Tls.verify);
    EXPECT_TRUE(unchecked.Tls.caFiles.isEmpty());
}
