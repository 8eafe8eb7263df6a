// The "Source" window against target-sim: the page, an abort halfway, a 404,
// and the VSource button of the main window.
#include "app/TKestrel.h"
#include "common/ProxySettings.h"
#include "engines/ProgramFolder.h"
#include "source/SourceViewer.h"
#include "source/ui/TColorMemo.h"
#include "source/ui/TSource.h"
#include "support/MainWindowTest.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QLabel>
#include <QPushButton>
#include <QTextBlock>
#include <QTimer>
#include <QUrl>

using namespace lb;
using lb::test::ScriptedDialogs;
using lb::test::TargetSim;

namespace {

// Remembers what the memo held when the error box came up.
class RecordingDialogs : public ScriptedDialogs {
public:
    TColorMemo* memo = nullptr;
    QStringList memoAtError;
    void showError(const QString& text) override {
        if (memo)
            memoAtError = memo->Lines();
        ScriptedDialogs::showError(text);
    }
};

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
    RecordingDialogs dialogs;
    TSource w;
};

} // namespace

TEST_F(SourceWindow, ShowsThePageColouredWithItsStatus) {
    const QByteArray page = "<html>\r\n<form action=\"/add\" method=post>\r\n"
                            "<input name=url value=\"\">\r\n</form>\r\n</html>\r\n";
    w.VSourceClick("Some Engine", rawUrl(sim, "raw", "HTTP/1.0 200 OK\r\n\r\n" + page));
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(dialogs.shown.isEmpty());
    EXPECT_EQ(child<QLabel>(w, "Label2")->text(), "Some Engine");
    EXPECT_EQ(child<QLabel>(w, "StatusPanel0")->text(), "Status:");
    EXPECT_EQ(child<QLabel>(w, "StatusPanel1")->text(), "Done..OK");
    EXPECT_FALSE(child<QPushButton>(w, "Abort")->isEnabled());
    TColorMemo* box = child<TColorMemo>(w, "SourceBox");
    EXPECT_EQ(box->Lines(), QStringList({"<html>", "<form action=\"/add\" method=post>",
                                         "<input name=url value=\"\">", "</form>", "</html>"}));
    w.grab();
    const int form = box->document()->findBlockByNumber(1).position();
    EXPECT_EQ(box->PaintedColourAt(form), box->ScreenColour(colours::Red));
    EXPECT_EQ(box->PaintedColourAt(form + 6), box->ScreenColour(colours::Blue)); // action=
    const QList<QJsonObject> reqs = sim.requests();
    ASSERT_EQ(reqs.size(), 1);
    EXPECT_EQ(reqs[0]["method"].toString(), "GET");

    // Close hides the window.
    child<QPushButton>(w, "Button1")->click();
    EXPECT_FALSE(w.isVisible());
}

TEST_F(SourceWindow, AbortHalfwayKeepsWhatArrivedThenShowsTheError) {
    dialogs.memo = w.SourceBox();
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
    EXPECT_EQ(dialogs.memoAtError, w.SourceBox()->Lines());
    EXPECT_FALSE(abort->isEnabled());
    EXPECT_FALSE(w.viewer()->busy());
}

TEST_F(SourceWindow, NotFoundLeavesTheMemoEmpty) {
    w.SourceBox()->setPlainText("old text");
    // The header alone first: the client closes at once, before any body comes.
    w.VSourceClick("Gone", rawUrl(sim, "stall", "HTTP/1.0 404 Not Found\r\n\r\n"));
    EXPECT_TRUE(w.SourceBox()->Lines().isEmpty());
    EXPECT_EQ(dialogs.texts(), QStringList{"Not Found"});
    EXPECT_EQ(child<QLabel>(w, "StatusPanel1")->text(), "Done..Not Found");
}

TEST(SourceWindowFromMain, OpenedByVSourceWithTheEngineShown) {
    TargetSim sim;
    ASSERT_TRUE(sim.ok());
    test::ProgramFolder pf;
    pf.writeStandardFiles();
    EngineRecord r;
    r.name = "Alpha";
    r[EngineRecord::SiteUrl] = rawUrl(sim, "raw", "HTTP/1.0 200 OK\r\n\r\n<form>\r\n");
    r.setPost(true);
    pf.writeEngines("data/data.hlz", {r.toLine()});
    lb::test::InFolder cwd(pf.dir.path());
    ScriptedDialogs dialogs;
    TKestrel k(dialogs);
    TSource source;
    k.setWindows(nullptr, &source, nullptr, nullptr, nullptr);
    child<QPushButton>(k, "VSource")->click();
    EXPECT_TRUE(source.isVisible());
    EXPECT_EQ(child<QLabel>(source, "Label2")->text(), "Alpha");
    EXPECT_EQ(source.SourceBox()->Lines(), QStringList{"<form>"});
    EXPECT_TRUE(dialogs.texts().isEmpty()) << dialogs.texts().join('|').toStdString();
}
