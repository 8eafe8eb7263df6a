// Details of the main window a user sees: exact captions (no application
// name added), the help viewer following links from the program folder, the
// progress bars' names, the clock, the picture without the icon, the proxy
// choice taken from the radio button when a run sends its requests, and the
// TLS settings.
#include "app/AppSetup.h"
#include "common/IniFile.h"
#include "common/ui/QtDialogs.h"
#include "engines/EngineDatabase.h"
#include "net/HttpProt.h"
#include "reports/ui/ThtmlLite.h"
#include "submit/ReportWriter.h"
#include "support/MainWindowTest.h"
#include "support/TargetSim.h"
#include "support/TestCertificates.h"

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

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

// Where a link with this target is drawn in the viewer, in viewport coordinates.
QPoint linkPoint(ThtmlLite* v, const QString& href) {
    QTextDocument* doc = v->document();
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (f.charFormat().isAnchor() && f.charFormat().anchorHref() == href) {
                QTextCursor c(doc);
                c.setPosition(f.position() + f.length() / 2);
                return v->cursorRect(c).center();
            }
        }
    }
    return QPoint(-1, -1);
}

// Runs `show` (which opens a modal box) and returns the caption of the box
// it opened, closing it.
QString captionOf(const std::function<void()>& show) {
    QString caption = QStringLiteral("<no box>");
    QTimer poll;
    int tries = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            caption = box->windowTitle();
            box->done(QMessageBox::No);
        } else if (++tries > 200) {
            poll.stop();
        }
    });
    poll.start(10);
    show();
    return caption;
}

} // namespace

TEST_F(WindowDetails, CaptionsAreTheWindowsOwnWithoutTheApplicationName) {
    // Program entry leaves the display name unset, so the platform adds
    // nothing to a caption: the display name then simply follows the name.
    const QString name = QCoreApplication::applicationName();
    setUpApplication();
    EXPECT_EQ(QCoreApplication::applicationName(), "Linkbeacon");
    QCoreApplication::setApplicationName("probe");
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), "probe");
    QCoreApplication::setApplicationName("Linkbeacon");

    TKestrel& k = open();
    EXPECT_EQ(k.windowTitle(), "Kestrel English");
    EXPECT_EQ(k.windowHandle()->title(), "Kestrel English");

    QtDialogs qt(&k);
    EXPECT_EQ(captionOf([&] {
                  qt.inform("You have not selected an item to Transfer", "No Item",
                            Dialogs::Icon::Exclamation);
              }),
              "No Item");
    EXPECT_EQ(
        captionOf([&] { qt.askYesNo("Session name already exists.", "Duplicate Session Name"); }),
        "Duplicate Session Name");
    EXPECT_EQ(captionOf([&] { qt.showError("Cannot open file x."); }), "Linkbeacon");
    QCoreApplication::setApplicationName(name);
}

TEST_F(WindowDetails, HelpLinksFromTheRootAndFromAboveResolveInTheProgramFolder) {
    pf.writeBytes("help/help.htm", "<html><body><p><a href=\"/help/manual.htm\">Manual</a></p>"
                                   "<p><a href=\"../help/submit.htm\">Submitting</a></p>"
                                   "</body></html>");
    pf.writeBytes("help/manual.htm", "<html><body><p>The manual page.</p></body></html>");
    pf.writeBytes("help/submit.htm", "<html><body><p>The submit page.</p></body></html>");
    TKestrel& k = open();
    k.notebook()->setCurrentIndex(TKestrel::HelpPage);
    ThtmlLite* help = child<ThtmlLite>("Help1");
    ASSERT_NE(help, nullptr);
    const QString folder = QDir(pf.dir.path()).canonicalPath();

    struct Click {
        const char* href;
        const char* file;
        const char* text;
    };
    for (const Click& click :
         {Click{"/help/manual.htm", "help/manual.htm", "The manual page."},
          Click{"../help/submit.htm", "help/submit.htm", "The submit page."}}) {
        SCOPED_TRACE(click.href);
        k.showHelp("\\help\\help.htm");
        QCoreApplication::processEvents();
        // Another window may have pointed the viewer elsewhere meanwhile.
        help->SetServerRoot(QDir::tempPath());
        const QPoint at = linkPoint(help, QLatin1String(click.href));
        ASSERT_GE(at.x(), 0) << "link not shown";
        QTest::mouseClick(help->viewport(), Qt::LeftButton, {}, at);
        QCoreApplication::processEvents();
        EXPECT_EQ(QFileInfo(help->CurrentFile()).canonicalFilePath(),
                  folder + QLatin1Char('/') + QLatin1String(click.file));
        EXPECT_TRUE(help->toPlainText().contains(QLatin1String(click.text)));
        EXPECT_EQ(QDir(help->ServerRoot()).canonicalPath(), folder);
    }
}

TEST_F(WindowDetails, TheClockShowsWhatTheReportsWrite) {
    const QDateTime before = QDateTime::currentDateTime();
    open();
    // The clock shows what the reports write: short date, long time, no zone.
    const QString clock = child<QLabel>("Clock")->text();
    const QDateTime after = QDateTime::currentDateTime();
    QStringList stamps;
    for (QDateTime t = before; t <= after.addSecs(1); t = t.addSecs(1))
        stamps << reportTimeStamp(t);
    EXPECT_TRUE(stamps.contains(clock)) << qPrintable(clock + " / " + stamps.join(" | "));
    const QString zone = after.timeZoneAbbreviation();
    if (!zone.isEmpty())
        EXPECT_FALSE(clock.endsWith(zone)) << qPrintable(clock);
}

TEST_F(WindowDetails, PictureShowsEvenWhenTheIconIsMissing) {
    QImage logo(8, 8, QImage::Format_RGB32);
    logo.fill(Qt::blue);
    ASSERT_TRUE(logo.save(pf.path("kwnlogo.bmp"), "BMP"));
    pf.remove("kwnico.ico");
    pf.writeEngines("data/data.hlz", {lb::test::engineLine("Gone")});
    pf.writeBytes("data/exclude.tmp", "Gone\r\n");
    open();
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_TRUE(dialogs.shown[0].text.contains("kwnico.ico")) << qPrintable(dialogs.shown[0].text);
    EXPECT_FALSE(child<QLabel>("Image1")->pixmap().isNull());
    // The steps after the icon were skipped: the ignore list stays empty.
    EXPECT_EQ(w->engines().excludeList().rowCount(), 0);
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

    child<QLineEdit>("TlsCAFile")->clear();
    child<QCheckBox>("TlsVerify")->click();
    child<QPushButton>("ProxyApply")->click();
    EXPECT_EQ(ini().readString("TLS", "Verify"), "0");
    EXPECT_FALSE(net::THttpCli().Tls.verify);
}
