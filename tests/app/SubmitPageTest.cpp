// "Step3 Submit" in the window: pressing Start runs the sessions of
// "Sessions to submit" against a local target-sim and the page shows it.
#include "app/TKestrel.h"
#include "common/IniFile.h"
#include "reports/ui/ResultsPage.h"
#include "engines/EngineDatabase.h"
#include "engines/ProgramFolder.h"
#include "support/ScriptedDialogs.h"
#include "support/TargetSim.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

using namespace lb;
using lb::test::ProgramFolder;
using lb::test::ScriptedDialogs;
using lb::test::TargetSim;

namespace {

class SubmitPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.ok());
        old = QDir::currentPath();
        pf.writeStandardFiles();
        QStringList lines;
        for (int i = 0; i < 8; ++i) {
            EngineRecord r;
            r.name = QStringLiteral("Target%1").arg(i);
            r[EngineRecord::CgiUrl] =
                sim.url(i % 4 == 3 ? QStringLiteral("/status/500/Server%20Error")
                                   : QStringLiteral("/delay/20/status/200/OK"));
            r[EngineRecord::TitleVar] = QStringLiteral("title");
            r.setPost(true);
            lines.append(r.toLine());
        }
        pf.writeEngines("data/data.hlz", lines);
        pf.writeBytes("data/session/session.hlx", "[Session]\r\nCount=1\r\n[List]\r\n0=Shop\r\n");
        pf.writeBytes("data/session/Shop.hlx", "[Shop]\r\nurl=http://shop.example.com/\r\n");
        QDir::setCurrent(pf.dir.path());
        w = std::make_unique<TKestrel>(dialogs);
    }
    void TearDown() override {
        w.reset();
        QDir::setCurrent(old);
    }
    template <class T> T* child(const char* name) {
        T* c = w->findChild<T*>(QLatin1String(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    QString text(const char* name) { return child<QLabel>(name)->text(); }
    bool waitFor(const std::function<bool()>& done) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return done();
    }
    void moveSessionToSubmit() {
        auto* saved = child<QListView>("SesList2");
        saved->selectionModel()->setCurrentIndex(saved->model()->index(0, 0),
                                                 QItemSelectionModel::ClearAndSelect);
        child<QPushButton>("AddSubmitSession")->click();
    }

    TargetSim sim;
    ProgramFolder pf;
    ScriptedDialogs dialogs;
    QString old;
    std::unique_ptr<TKestrel> w;
};

} // namespace

TEST_F(SubmitPageTest, StartRunsTheSessionAndThePageShowsTheCounts) {
    child<QCheckBox>("Batch")->setChecked(false);
    w->engines().setBatchIncluded(false);
    moveSessionToSubmit();
    ASSERT_EQ(child<QListView>("SubList")->model()->rowCount(), 1);

    auto* start = child<QPushButton>("SubStart");
    start->click();
    EXPECT_FALSE(start->isEnabled());
    EXPECT_FALSE(child<QRadioButton>("Ranger")->isEnabled());
    EXPECT_EQ(child<QLabel>("Website")->text(), "http://shop.example.com/");

    ASSERT_TRUE(waitFor([&] { return start->isEnabled(); }));
    EXPECT_EQ(text("Successfull"), "6");
    EXPECT_EQ(text("Failed"), "2");
    EXPECT_EQ(text("Posting_to"), "8");
    EXPECT_EQ(child<QProgressBar>("Bar3")->value(), 6);
    EXPECT_FALSE(child<QPushButton>("SubStop")->isEnabled());
    EXPECT_TRUE(child<QRadioButton>("Ranger")->isEnabled());
    EXPECT_EQ(child<QListView>("SubList")->model()->rowCount(), 0);
    EXPECT_TRUE(child<QPlainTextEdit>("Memo3")->toPlainText().endsWith("All Submissions Finished"));
    EXPECT_TRUE(pf.exists("reports/Shop.htm"));
    EXPECT_TRUE(dialogs.shown.isEmpty()) << dialogs.texts().join("|").toStdString();
}

TEST_F(SubmitPageTest, StartWithoutSessionsRefuses) {
    child<QPushButton>("SubStart")->click();
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].text, "You have no sessions to submit");
    EXPECT_EQ(dialogs.shown[0].caption, "No Session");
    EXPECT_TRUE(child<QPushButton>("SubStart")->isEnabled());
}

TEST_F(SubmitPageTest, AddArrowWithoutFocusAsksForASelection) {
    child<QPushButton>("AddSubmitSession")->click();
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].text, "You have not selected an item to Transfer");
    EXPECT_EQ(dialogs.shown[0].caption, "No Item");
}

TEST_F(SubmitPageTest, EncodeBoxSetsTheKeyAndOpenCsvOpensTheReportsCsv) {
    // The box shows the setting and writes it at once.
    auto* encode = child<QCheckBox>("EncodeValues");
    EXPECT_TRUE(encode->isChecked());
    encode->click();
    EXPECT_EQ(IniFile(pf.path("zkt.ini")).readString("Submit", "EncodeValues"), "0");
    encode->click();
    EXPECT_EQ(IniFile(pf.path("zkt.ini")).readString("Submit", "EncodeValues"), "1");

    child<QCheckBox>("Batch")->setChecked(false);
    w->engines().setBatchIncluded(false);
    moveSessionToSubmit();
    auto* start = child<QPushButton>("SubStart");
    start->click();
    ASSERT_TRUE(waitFor([&] { return start->isEnabled(); }));

    // The run ends on the report; its CSV opens in the desktop's program.
    QStringList opened;
    w->resultsPage()->setFileOpener([&](const QString& path) {
        opened.append(path);
        return true;
    });
    auto* openCsv = child<QPushButton>("OpenCsv");
    ASSERT_TRUE(openCsv->isEnabled());
    openCsv->click();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(QFileInfo(opened[0]).canonicalFilePath(), QFileInfo(pf.path("reports/Shop.csv")).canonicalFilePath());
    EXPECT_EQ(pf.readBytes("reports/Shop.csv").count("\r\n"), 9); // header + 8 engines
}
