// The "Source" window against target-sim: the page, an abort halfway, a 404,
// and the VSource button of the main window; and the colouring memo as it
// shows on screen.
#include "app/TKestrel.h"
#include "common/ProxySettings.h"
#include "source/SourceViewer.h"
#include "source/ui/TColorMemo.h"
#include "source/ui/TSource.h"
#include "support/CrawlProxy.h"
#include "support/MainWindowTest.h"
#include "support/ProgramFolder.h"
#include "support/RawServer.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QUrl>

using namespace lb;
using lb::test::ScriptedDialogs;
using lb::test::TargetSim;

namespace {

QString rawUrl(const TargetSim& sim, const char* route, const QByteArray& bytes) {
    return sim.url(QStringLiteral("/%1?data=").arg(QLatin1String(route)) +
                   QString::fromLatin1(QUrl::toPercentEncoding(bytes)));
}

template <class T> T* child(QWidget& w, const char* name) {
    return lb::test::named<T>(&w, name);
}

class SourceWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.ok());
        w.attach(dialogs, ProxySettings());
    }
    TargetSim sim;
    ScriptedDialogs dialogs;
    TSource w;
};

} // namespace

TEST_F(SourceWindow, AbortHalfwayKeepsWhatArrivedAndShowsTheError) {
    QPushButton* abort = child<QPushButton>(w, "Abort");
    bool clicked = false;
    bool abortWasEnabled = false;
    QObject::connect(w.viewer(), &SourceViewer::changed, &w, [&] {
        if (!clicked && w.viewer()->status().startsWith("Loading Source (")) {
            clicked = true;
            abortWasEnabled = abort->isEnabled();
            QTimer::singleShot(0, abort, &QPushButton::click);
        }
    });
    w.VSourceClick("Slow", rawUrl(sim, "stall",
                                  "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n"
                                  "<form action=x>\r\n<input name=a>\r\n<sel"));
    EXPECT_TRUE(clicked);
    EXPECT_TRUE(abortWasEnabled);
    EXPECT_EQ(w.SourceBox()->Lines(), QStringList({"<form action=x>", "<input name=a>", "<sel"}));
    ASSERT_EQ(dialogs.texts(), QStringList{"Connection aborted on request"});
    EXPECT_EQ(dialogs.shown[0].kind, ScriptedDialogs::Kind::Error);
    EXPECT_FALSE(abort->isEnabled());
}

TEST_F(SourceWindow, NotFoundLeavesTheMemoEmpty) {
    w.SourceBox()->setPlainText("old text");
    // The header alone first: the client closes at once, before any body comes.
    w.VSourceClick("Gone", rawUrl(sim, "stall", "HTTP/1.0 404 Not Found\r\n\r\n"));
    EXPECT_TRUE(w.SourceBox()->Lines().isEmpty());
    EXPECT_EQ(dialogs.texts(), QStringList{"Not Found"});
    EXPECT_EQ(child<QLabel>(w, "StatusPanel1")->text(), "Done..Not Found");
}

// Behind a proxy the page is asked of the proxy, by its full address, with
// the proxy's user.
TEST(SourceViewer, BehindAProxyThePageComesThroughIt) {
    lb::test::RawServer proxy;
    proxy.addAnswer("HTTP/1.0 200 OK\r\n\r\n<form>via proxy</form>");
    ScriptedDialogs dialogs;
    SourceViewer viewer(dialogs);
    ProxySettings direct = lb::test::crawlProxy(1);
    direct.behindProxy = false;
    viewer.applyProxy(direct); // not behind a proxy: ignored
    viewer.applyProxy(lb::test::crawlProxy(proxy.port()));
    viewer.open(QStringLiteral("Site"), QStringLiteral("http://site.invalid/add.htm"));
    EXPECT_TRUE(proxy.request(0).startsWith("GET http://site.invalid/add.htm HTTP/1.0\r\n"));
    EXPECT_TRUE(proxy.request(0).contains(lb::test::kCrawlProxyAuthorization));
    EXPECT_EQ(viewer.sourceLines(), QStringList{"<form>via proxy</form>"});
    EXPECT_TRUE(dialogs.shown.isEmpty());
}

// "Source" on the main window opens the window on the engine's page: the
// name, the page's lines in their colours, the status; Close hides it.
TEST(SourceWindowFromMain, OpenedByVSourceWithTheEngineShown) {
    TargetSim& sim = lb::test::sharedTargetSim();
    ASSERT_TRUE(sim.ok());
    test::ProgramFolder pf;
    pf.writeStandardFiles();
    const QString page = rawUrl(
        sim, "raw", "HTTP/1.0 200 OK\r\n\r\n<html>\r\n<form action=\"/add\" method=post>\r\n");
    pf.writeEngines("data/data.hlz", {lb::test::checkedEngine("Alpha", page, "").toLine()});
    lb::test::InFolder cwd(pf.dir.path());
    ScriptedDialogs dialogs;
    TKestrel k(dialogs);
    TSource source;
    k.setWindows(nullptr, &source, nullptr, nullptr, nullptr);
    child<QPushButton>(k, "VSource")->click();
    EXPECT_TRUE(source.isVisible());
    EXPECT_TRUE(dialogs.texts().isEmpty()) << dialogs.texts().join('|').toStdString();
    EXPECT_EQ(child<QLabel>(source, "Label2")->text(), "Alpha");
    EXPECT_EQ(child<QLabel>(source, "StatusPanel1")->text(), "Done..OK");
    EXPECT_FALSE(child<QPushButton>(source, "Abort")->isEnabled());
    TColorMemo* box = source.SourceBox();
    EXPECT_EQ(box->Lines(), QStringList({"<html>", "<form action=\"/add\" method=post>"}));
    child<QPushButton>(source, "Button1")->click();
    EXPECT_FALSE(source.isVisible());
}

namespace {

// Shows the memo and lets it paint, so the visible blocks get their colours.
void paint(TColorMemo& memo) {
    if (!memo.isVisible())
        memo.show();
    memo.grab();
    QApplication::processEvents();
    memo.grab();
}

} // namespace

TEST(ColorMemo, PaintsRuleColoursAndFollowsEdits) {
    TColorMemo memo;
    memo.resize(500, 300);
    memo.SetColorRules(metaCreatorRules());
    memo.setPlainText("<HEAD>\n<META NAME=\"a\">\ntext\n<!-- one\ntwo -->");
    paint(memo);
    EXPECT_EQ(memo.PaintedColourAt(1), memo.ScreenColour(colours::Red));    // <HEAD>
    EXPECT_EQ(memo.PaintedColourAt(8), memo.ScreenColour(colours::Purple)); // <META
    EXPECT_FALSE(memo.PaintedColourAt(23).isValid());                       // text
    // A comment over two lines is teal on both.
    EXPECT_EQ(memo.PaintedColourAt(30), memo.ScreenColour(colours::Teal));
    EXPECT_EQ(memo.PaintedColourAt(37), memo.ScreenColour(colours::Teal));

    // Typing "<!--" in front turns what follows into a comment up to the next "-->".
    QTextCursor c(memo.document());
    c.setPosition(0);
    c.insertText("<!--");
    paint(memo);
    EXPECT_EQ(memo.RuleColourAt(2), colours::Teal);
    EXPECT_EQ(memo.PaintedColourAt(2), memo.ScreenColour(colours::Teal));
    EXPECT_EQ(memo.RuleColourAt(4), colours::Red); // the later keyword rule wins on <HEAD>
    EXPECT_EQ(memo.PaintedColourAt(27), memo.ScreenColour(colours::Teal)); // "text" line
}
