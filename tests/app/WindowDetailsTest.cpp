// Details of the main window a user sees: the help viewer following links
// from the program folder, the proxy choice taken from the radio button when a
// run sends its requests, and the TLS settings.
#include "common/IniFile.h"
#include "engines/EngineDatabase.h"
#include "net/HttpProt.h"
#include "reports/ui/ThtmlLite.h"
#include "support/MainWindowTest.h"
#include "support/TargetSim.h"
#include "support/TestCertificates.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>

using namespace lb;
using lb::test::TargetSim;

namespace {

class WindowDetails : public lb::test::MainWindowTest {
protected:
    TKestrel& open() {
        MainWindowTest::open();
        w->resize(900, 640);
        w->show();
        QCoreApplication::processEvents();
        return *w;
    }
    IniFile ini() const { return IniFile(pf.dir.filePath("zkt.ini")); }
};

} // namespace

// How links resolve against the root is the viewer's; the window puts the
// root back to the program folder at every click.
TEST_F(WindowDetails, HelpLinksResolveInTheProgramFolder) {
    pf.writeBytes("help/submit.htm", "<html><body><p>The submit page.</p></body></html>");
    TKestrel& k = open();
    ThtmlLite* help = child<ThtmlLite>("Help1");
    ASSERT_NE(help, nullptr);
    k.showHelp("\\help\\help.htm");
    // Another window may have pointed the viewer elsewhere meanwhile.
    help->SetServerRoot(QDir::tempPath());
    help->ClickLink("../help/submit.htm");
    EXPECT_TRUE(help->toPlainText().contains("The submit page."));
    EXPECT_EQ(QDir(help->ServerRoot()).canonicalPath(), QDir(pf.dir.path()).canonicalPath());
}

TEST_F(WindowDetails, ProxyChoiceIsTakenFromTheRadioButtonAtEachRun) {
    TargetSim target, proxy;
    ASSERT_TRUE(target.ok());
    ASSERT_TRUE(proxy.ok());
    pf.writeBytes("zkt.ini", QStringLiteral("[Proxy]\r\nProxyHost=127.0.0.1\r\nProxyPort=%1\r\n"
                                            "ProxyUserName=\r\nProxyPassword=\r\nKeyProxy=1\r\n")
                                 .arg(proxy.port())
                                 .toLatin1());
    pf.writeEngines("data/data.hlz",
                    {lb::test::engineLine("One", target.url("/status/200/OK?e=1")),
                     lb::test::engineLine("Two", target.url("/status/200/OK?e=2"))});
    lb::test::writeShopSession(pf);
    open();
    w->engines().setBatchIncluded(false);
    auto* behind = child<QRadioButton>("KeyProxy");
    auto* notBehind = child<QRadioButton>("NoProxy");
    ASSERT_TRUE(behind->isChecked()); // loaded from the settings file
    auto runOnce = [&] {
        lb::test::queueSession(*w);
        return lb::test::submitAndWait(*w);
    };

    // Switched off on the panel, without Apply: the requests go direct.
    notBehind->click();
    ASSERT_TRUE(runOnce());
    EXPECT_EQ(target.requests().size(), 2);
    EXPECT_EQ(proxy.requests().size(), 0);

    // Switched on again: through the proxy the template client holds.
    behind->click();
    ASSERT_TRUE(runOnce());
    EXPECT_EQ(target.requests().size(), 2);
    ASSERT_EQ(proxy.requests().size(), 2);
    EXPECT_TRUE(proxy.requests()[0].value("target").toString().startsWith(target.url("/status")));
}

// The stored proxy reaches every client of the window: the submission's,
// the batch pass's, the spider's, the extractor's and the updater's.
TEST_F(WindowDetails, TheStoredProxyReachesEveryClient) {
    pf.writeBytes("zkt.ini", "[Proxy]\r\nProxyHost=proxy.example\r\nProxyPort=3128\r\n"
                             "ProxyUserName=ann\r\nProxyPassword=secret\r\nKeyProxy=1\r\n");
    open();
    for (const char* name :
         {"HTTP1", "HTTP2", "HttpR", "HttpMap", "HTTP9", "HttpCli1", "HttpCli2"}) {
        const net::THttpCli* c = w->httpClient(QLatin1String(name));
        ASSERT_NE(c, nullptr) << name;
        EXPECT_EQ(QStringList({c->Proxy, c->ProxyPort, c->ProxyUsername, c->ProxyPassword}),
                  QStringList({"proxy.example", "3128", "ann", "secret"}))
            << name;
    }
}

// The TLS settings under the proxy settings: shown from zkt.ini, chosen with the
// CA file chooser and the check box, written on Apply. (That new clients take
// the section is the settings' own rule.)
TEST_F(WindowDetails, TlsSettingsShowTheStoredValuesAndApplyWritesThem) {
    IniFile f = ini();
    f.writeString("TLS", "CAFile", "certs/ca.pem");
    f.writeString("TLS", "Verify", "0");
    open();
    EXPECT_EQ(child<QLineEdit>("TlsCAFile")->text(), "certs/ca.pem");
    EXPECT_FALSE(child<QCheckBox>("TlsVerify")->isChecked());
    const int messagesAtStart = dialogs.texts().size();
    const QString ca = lb::test::sharedCertificates().caFile();

    // A cancelled chooser leaves the edit alone.
    child<QPushButton>("TlsCAFileBrowse")->click();
    EXPECT_EQ(child<QLineEdit>("TlsCAFile")->text(), "certs/ca.pem");
    dialogs.fileNames << ca;
    child<QPushButton>("TlsCAFileBrowse")->click();
    EXPECT_EQ(child<QLineEdit>("TlsCAFile")->text(), ca);
    child<QCheckBox>("TlsVerify")->click();
    child<QPushButton>("ProxyApply")->click();
    EXPECT_EQ(ini().readString("TLS", "CAFile"), ca);
    EXPECT_EQ(ini().readString("TLS", "Verify"), "1");
    EXPECT_EQ(ini().readString("Proxy", "KeyProxy"), "0");
    EXPECT_EQ(dialogs.texts().size(), messagesAtStart); // written without complaint
    EXPECT_EQ(net::THttpCli().Tls.caFiles, QStringList{ca});
}
