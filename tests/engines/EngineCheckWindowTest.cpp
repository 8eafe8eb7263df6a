// "Engine Check": its controls drive the check of the database in use and
// show the result; the ignore list, the editor and the extractor follow.
#include "engines/ui/EngineCheckWindow.h"
#include "engines/EngineDatabase.h"
#include "engines/ProgramFolder.h"
#include "support/RawServer.h"
#include "support/ScriptedDialogs.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QAbstractItemModel>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>

using namespace lb;
using lb::test::checkedEngine;

TEST(EngineCheckWindow, ChecksTheDatabaseInUseAndActsOnTheResults) {
    lb::test::ProgramFolder pf;
    pf.writeStandardFiles();
    QDir(pf.dir.path()).mkpath("pages");
    pf.writeBytes("pages/ok.htm", "<form method=post action=add.cgi><input name=url></form>");
    pf.writeBytes("pages/new.htm", "<form method=post action=v2.cgi><input name=url></form>");
    lb::test::TargetSim sim({QStringLiteral("--root"), pf.path("pages")});
    ASSERT_TRUE(sim.ok());
    const QString cgi = sim.url("/files/add.cgi");
    const QString mine = pf.path("data/custom/mine.hlx");
    pf.writeBytes(
        "data/custom/mine.hlx",
        (QStringList{checkedEngine("Dead Links", "http://lapsed.invalid/", cgi).toLine(),
                     checkedEngine("Changed Links", sim.url("/files/new.htm"), cgi).toLine(),
                     checkedEngine("Alive Links", sim.url("/files/ok.htm"), cgi).toLine()}
             .join("\r\n"))
            .toUtf8());

    lb::test::ScriptedDialogs dialogs;
    dialogs.fileNames = {mine};
    EngineDatabase db(pf.dir.path(), dialogs);
    db.loadExcludeFile();
    db.selectCustom();

    EngineCheckWindow w(db, dialogs);
    w.show();
    auto* start = w.findChild<QPushButton*>("CheckStart");
    auto* stop = w.findChild<QPushButton*>("CheckStop");
    auto* table = w.findChild<QTableView*>("CheckTable");
    EXPECT_EQ(w.findChild<QLabel*>("CheckDatabase")->text(), "Database: " + mine);

    start->click();
    EXPECT_FALSE(start->isEnabled());
    EXPECT_TRUE(stop->isEnabled());
    ASSERT_TRUE(lb::test::runUntil([&] { return !w.check().running(); }));
    EXPECT_FALSE(stop->isEnabled());
    EXPECT_EQ(w.findChild<QProgressBar*>("CheckProgress")->value(), 3);
    EXPECT_EQ(w.findChild<QLabel*>("CheckCounts")->text(),
              "1 alive, 1 changed, 0 moved, 0 gone, 0 error, 1 dead");
    EXPECT_TRUE(pf.exists("reports/engines-mine.csv"));

    // Sorted by state, the rows still lead to their own engines.
    table->sortByColumn(1, Qt::AscendingOrder);
    QAbstractItemModel* m = table->model();
    EXPECT_EQ(m->index(1, 1).data().toString(), "changed");
    EXPECT_NE(m->index(0, 1).data(Qt::BackgroundRole), m->index(2, 1).data(Qt::BackgroundRole));

    QSignalSpy extract(&w, &EngineCheckWindow::extractRequested);
    emit table->doubleClicked(m->index(1, 0));
    EXPECT_EQ(db.editor().name, "Changed Links");
    ASSERT_EQ(extract.size(), 1);
    EXPECT_EQ(extract.at(0).at(0).toString(), sim.url("/files/new.htm"));
    emit table->doubleClicked(m->index(0, 0));
    EXPECT_EQ(extract.size(), 1); // only a changed engine goes to the extractor

    w.findChild<QPushButton*>("CheckExclude")->click();
    EXPECT_EQ(db.keyList().names(), (QStringList{"Alive Links", "Changed Links"}));
    EXPECT_EQ(dialogs.texts().last(), "1 engines added to the ignore list.");

    // Stopped while engines are in flight: they stay unchecked, no report is
    // written over the whole one, and Start is offered again.
    pf.remove("reports/engines-mine.csv");
    start->click();
    ASSERT_TRUE(w.check().running());
    stop->click();
    EXPECT_TRUE(start->isEnabled());
    EXPECT_LT(w.check().checkedCount(), 3);
    EXPECT_FALSE(pf.exists("reports/engines-mine.csv"));
}
