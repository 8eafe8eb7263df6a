// "Engine Check": its controls drive the check of the database in use and
// show the result; the ignore list, the editor and the extractor follow.
#include "engines/ui/EngineCheckWindow.h"
#include "engines/EngineDatabase.h"
#include "support/DemoFolder.h"
#include "support/RawServer.h"
#include "support/ScriptedDialogs.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QAbstractItemModel>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>

using namespace lb;

TEST(EngineCheckWindow, ChecksTheDatabaseInUseAndActsOnTheResults) {
    // The check demo of the bundled folder has an engine in each state.
    lb::test::TargetSim sim;
    ASSERT_TRUE(sim.ok());
    QTemporaryDir dir;
    ASSERT_TRUE(lb::test::copyBundledFolder(dir.path(), sim.port()));
    const QString demo = dir.filePath("data/custom/check-demo.hlx");
    const QString csv = dir.filePath("reports/engines-check-demo.csv");
    lb::test::ScriptedDialogs dialogs;
    dialogs.fileNames = {demo};
    EngineDatabase db(dir.path(), dialogs);
    db.loadExcludeFile();
    db.selectCustom();

    EngineCheckWindow w(db, dialogs);
    w.show();
    auto* start = w.findChild<QPushButton*>("CheckStart");
    auto* stop = w.findChild<QPushButton*>("CheckStop");
    auto* table = w.findChild<QTableView*>("CheckTable");
    EXPECT_EQ(w.findChild<QLabel*>("CheckDatabase")->text(), "Database: " + demo);

    start->click();
    EXPECT_FALSE(start->isEnabled());
    EXPECT_TRUE(stop->isEnabled());
    ASSERT_TRUE(lb::test::runUntil([&] { return !w.check().running(); }));
    EXPECT_FALSE(stop->isEnabled());
    EXPECT_EQ(w.findChild<QProgressBar*>("CheckProgress")->value(), 8);
    EXPECT_EQ(w.findChild<QLabel*>("CheckCounts")->text(),
              "2 alive, 1 changed, 1 moved, 1 gone, 1 error, 2 dead");
    EXPECT_TRUE(QFile::exists(csv));

    // Sorted by state, the rows still lead to their own engines.
    table->sortByColumn(1, Qt::AscendingOrder);
    QAbstractItemModel* m = table->model();
    EXPECT_EQ(m->index(2, 1).data().toString(), "changed");
    EXPECT_NE(m->index(0, 1).data(Qt::BackgroundRole), m->index(2, 1).data(Qt::BackgroundRole));

    QSignalSpy extract(&w, &EngineCheckWindow::extractRequested);
    emit table->doubleClicked(m->index(2, 0));
    EXPECT_EQ(db.editor().name, "Redesigned Directory");
    ASSERT_EQ(extract.size(), 1);
    EXPECT_EQ(extract.at(0).at(0).toString(), sim.url("/demo/check/redesigned.html"));
    emit table->doubleClicked(m->index(0, 0));
    EXPECT_EQ(extract.size(), 1); // only a changed engine goes to the extractor

    w.findChild<QPushButton*>("CheckExclude")->click();
    EXPECT_EQ(db.keyList().count(), 5);
    EXPECT_EQ(dialogs.texts().last(), "3 engines added to the ignore list.");

    // Stopped while engines are in flight: they stay unchecked, no report is
    // written over the whole one, and Start is offered again.
    QFile::remove(csv);
    start->click();
    ASSERT_TRUE(w.check().running());
    stop->click();
    EXPECT_TRUE(start->isEnabled());
    EXPECT_LT(w.check().checkedCount(), 8);
    EXPECT_FALSE(QFile::exists(csv));
}
