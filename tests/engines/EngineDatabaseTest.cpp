#include "engines/EngineDatabase.h"
#include "common/IniFile.h"
#include "engines/EngineCipher.h"
#include "support/ProgramFolder.h"
#include "support/ScriptedDialogs.h"

#include <gtest/gtest.h>

using namespace lb;
using lb::test::engineLine;
using lb::test::engineLines;
using lb::test::ProgramFolder;
using lb::test::ScriptedDialogs;

namespace {

class EngineDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        pf.writeStandardFiles();
        pf.writeEngines("data/data.hlz", engineLines({"Delta", "alpha", "Charlie", "bravo"}));
        pf.writeEngines("data/engines.hlz", engineLines({"Search2", "Search1"}));
    }
    // The start-up steps the main window runs, in order.
    void start() {
        db = std::make_unique<EngineDatabase>(pf.dir.path(), dialogs);
        db->loadStartDatabase();
        db->fillKeyListFromLines();
        db->showFirstEngine();
        db->copyKeyListToEngineList();
        db->readCategoryLists();
        db->recount();
        db->loadExcludeFile();
        db->removeIgnoredEngines();
    }
    void selectEngineRows(QItemSelectionModel& sel, std::initializer_list<int> rows, int focus) {
        sel.clear();
        for (int r : rows)
            sel.select(sel.model()->index(r, 0), QItemSelectionModel::Select);
        sel.setCurrentIndex(sel.model()->index(focus, 0), QItemSelectionModel::NoUpdate);
    }

    ProgramFolder pf;
    ScriptedDialogs dialogs;
    std::unique_ptr<EngineDatabase> db;
};

} // namespace

TEST_F(EngineDatabaseTest, StartShowsTheFirstEngineOfTheSortedDatabase) {
    start();
    EXPECT_EQ(db->keyList().names(), QStringList({"alpha", "bravo", "Charlie", "Delta"}));
    EXPECT_EQ(db->engineList().names(), db->keyList().names());
    EXPECT_EQ(db->loaded(), pf.path("data/data.hlz"));
    EXPECT_EQ(db->keyListRow(), 0);
    EXPECT_EQ(db->editor()[EngineRecord::CgiUrl], "http://alpha/cgi");
    EXPECT_EQ(db->engineCount(), 4);
    EXPECT_TRUE(dialogs.shown.isEmpty());
}

TEST_F(EngineDatabaseTest, IgnoreMovesTheSelectedRunFromTheFocusAndRewritesTheFile) {
    start();
    db->ignoreSelected();
    ASSERT_EQ(dialogs.texts(), QStringList({"You have not selected an item to Remove"}));
    EXPECT_EQ(dialogs.shown[0].caption, "No Item");

    // Rows 1, 2 and 3 selected, focus on 1: they move one after the other.
    selectEngineRows(db->engineListSelection(), {1, 2, 3}, 1);
    db->ignoreSelected();
    EXPECT_EQ(db->engineList().names(), QStringList({"alpha"}));
    EXPECT_EQ(db->excludeList().names(), QStringList({"bravo", "Charlie", "Delta"}));
    EXPECT_EQ(db->keyList().names(), QStringList({"alpha"}));
    EXPECT_EQ(pf.readBytes("data/exclude.tmp"), QByteArray("bravo\r\nCharlie\r\nDelta\r\n"));

    // Un-ignore: a name of another database leaves the ignore list without joining the submit list.
    db->excludeList().add("Search1");
    selectEngineRows(db->excludeListSelection(), {0, 1, 2, 3}, 0);
    db->unignoreSelected();
    EXPECT_EQ(db->engineList().names(), QStringList({"alpha", "bravo", "Charlie", "Delta"}));
    EXPECT_EQ(db->excludeList().count(), 0);
    EXPECT_EQ(pf.readBytes("data/exclude.tmp"), QByteArray());

    // Rows 0 and 2 selected, focus on 0: once per selected item, only row 0 qualifies.
    selectEngineRows(db->engineListSelection(), {0, 2}, 0);
    db->ignoreSelected();
    EXPECT_EQ(db->excludeList().names(), QStringList({"alpha"}));
}

TEST_F(EngineDatabaseTest, DatabaseButtonsReplaceOrMergeTheEngineLinesOrSayWhatIsMissing) {
    pf.writeBytes("data/exclude.tmp", "Search1\r\n");
    pf.writeBytes("data/batch.hlx", "[count]\r\ncount=40\r\n[batchlist]\r\nbatchpage.cgi=\r\n");
    start();
    EXPECT_EQ(db->engineCount(), 44);
    EXPECT_EQ(db->batchList().names(), QStringList({"batchpage.cgi"}));

    db->selectSearchEngines();
    EXPECT_EQ(db->engineLines().count(), 2);
    EXPECT_FALSE(db->batchIncluded());
    EXPECT_EQ(db->engineCount(), 2); // counted before the ignored engine left
    EXPECT_EQ(db->keyList().names(), QStringList({"Search2"}));

    db->selectAllEngines();
    EXPECT_EQ(db->loaded(), pf.path("data/engines.hlz")); // keeps the previous path
    EXPECT_EQ(db->engineLines().count(), 6);
    EXPECT_TRUE(db->batchIncluded());
    EXPECT_EQ(db->engineCount(), 6 + 40);
    EXPECT_EQ(db->keyList().count(), 5);

    // A line of the earlier database stays in EngineLines under "All Engines".
    pf.writeEngines("data/engines.hlz", engineLines({"Search3"}));
    db->selectAllEngines();
    EXPECT_TRUE(db->engineLines().containsName("Search2"));
    EXPECT_FALSE(db->keyList().names().contains("Search2"));

    // "Search Engines" replaces the list wholly.
    db->selectSearchEngines();
    EXPECT_EQ(db->engineLines().count(), 1);

    db->selectClassifieds();
    EXPECT_EQ(db->loaded(), pf.path("data/data.hlz"));
    EXPECT_TRUE(dialogs.shown.isEmpty());

    // A database gone: one message, the lists kept.
    pf.remove("data/engines.hlz");
    db->selectSearchEngines();
    ASSERT_EQ(dialogs.texts(), QStringList({"Cannot open file " + pf.path("data/engines.hlz")}));
    EXPECT_EQ(db->keyList().count(), 4);
    EXPECT_EQ(db->loaded(), pf.path("data/data.hlz"));
}

TEST_F(EngineDatabaseTest, CustomDatabasesLoadByTheirEnding) {
    pf.writeBytes("data/exclude.tmp", "alpha\r\n");
    start();
    pf.writeEngines("data/custom/mine.CHC", engineLines({"Enc2", "Enc1"}));
    pf.writeBytes("data/custom/mine.hlx", (engineLine("Plain") + "\r\n").toUtf8());

    dialogs.fileNames = {pf.path("data/custom/mine.CHC")};
    db->selectCustom();
    EXPECT_EQ(db->keyList().names(), QStringList({"Enc1", "Enc2"}));
    EXPECT_FALSE(db->batchIncluded());

    dialogs.fileNames = {pf.path("data/custom/mine.hlx")};
    db->selectCustom();
    EXPECT_EQ(db->keyList().names(), QStringList({"Plain"}));
    EXPECT_EQ(db->loaded(), pf.path("data/custom/mine.hlx"));

    // Cancelled: nothing loads, ignored engines are still removed.
    db->engineList().add("alpha");
    dialogs.fileNames.clear();
    db->selectCustom();
    EXPECT_EQ(db->engineList().names(), QStringList({"Plain"}));
}

TEST_F(EngineDatabaseTest, AddRefusesEmptyNamesAndBatchPagesAndAsksBeforeModifying) {
    pf.writeBytes("data/batch.hlx", "[batchlist]\r\nbatchpage.cgi=\r\n");
    start();
    db->ClearEngineEditor();
    db->addEngine();
    db->setEditorName("New One");
    db->setEditorField(EngineRecord::CgiUrl, "http://x/batchpage.cgi?a=1");
    db->addEngine();
    EXPECT_EQ(dialogs.texts(), QStringList({"You have no Site_Name to save.",
                                            "This page is already included in the batch "
                                            "submissions."}));
    EXPECT_EQ(dialogs.shown[0].caption, "No Session Name");
    EXPECT_EQ(dialogs.shown[1].caption, "Already Exists");
    EXPECT_EQ(db->engineLines().count(), 4);

    dialogs.clear();
    db->setEditorField(EngineRecord::CgiUrl, "http://x/form.cgi");
    db->setEditorPost(false);
    db->addEngine();
    EXPECT_TRUE(dialogs.shown.isEmpty());
    EXPECT_EQ(db->keyList().at(4), "New One");
    EXPECT_TRUE(db->engineList().names().contains("New One"));
    EXPECT_EQ(db->keyListRow(), 4);
    EXPECT_TRUE(db->engineLines().lineOfName("new one").contains("|GET|"));

    // Same name, different case: asked; No leaves it, Yes replaces it in place.
    db->keyListClicked(1);
    db->setEditorName("BRAVO");
    db->setEditorField(EngineRecord::SiteUrl, "changed");
    db->addEngine();
    EXPECT_EQ(dialogs.texts(),
              QStringList({"This Name already exists.\nDo you wish to modify it  ?"}));
    EXPECT_EQ(dialogs.shown[0].caption, "Duplicate Name");
    EXPECT_FALSE(db->engineLines().lineOfName("bravo").contains("changed"));
    dialogs.answers = {true};
    db->addEngine();
    EXPECT_EQ(db->engineLines().count(), 5);
    EXPECT_TRUE(db->engineLines().lineOfName("bravo").startsWith("BRAVO=changed|"));
    EXPECT_EQ(db->keyListRow(), 1);
}

TEST_F(EngineDatabaseTest, DeleteSelectsTheNextOrThePreviousAndEmptiesAtTheEnd) {
    // Ignored names match ignoring case; one of no engine changes nothing.
    pf.writeBytes("data/exclude.tmp", "BRAVO\r\nNot There\r\n");
    start();
    ASSERT_EQ(db->keyList().names(), QStringList({"alpha", "Charlie", "Delta"}));
    ASSERT_EQ(db->engineList().names(), db->keyList().names());
    db->selectKeyListRow(-1);
    db->deleteEngine();
    EXPECT_EQ(dialogs.texts(), QStringList({"You have not selected an item to Delete"}));

    db->keyListClicked(2); // the last one: the one before it is selected afterwards
    db->deleteEngine();
    EXPECT_EQ(db->keyList().names(), QStringList({"alpha", "Charlie"}));
    EXPECT_EQ(db->keyListRow(), 1);
    EXPECT_EQ(db->editor().name, "Charlie");
    EXPECT_TRUE(db->engineLines().containsName("bravo")); // the ignored record stays
    EXPECT_EQ(db->engineList().names(), QStringList({"alpha", "Charlie"}));
    EXPECT_EQ(db->engineCount(), 2);

    db->keyListClicked(0);
    db->deleteEngine();
    EXPECT_EQ(db->editor().name, "Charlie");
    db->deleteEngine();
    EXPECT_TRUE(db->keyList().isEmpty());
    EXPECT_EQ(db->keyListRow(), -1);
    EXPECT_TRUE(db->editor()[EngineRecord::CgiUrl].isEmpty());
}

TEST_F(EngineDatabaseTest, SaveWritesByTheChoiceAndTheDialogs) {
    start();
    db->selectAllEngines();
    db->save();
    EXPECT_EQ(dialogs.texts(),
              QStringList({"Sorry you can not Save while All Engines are selected"}));
    EXPECT_EQ(dialogs.shown[0].caption, "Overwrite not allowed");

    db->selectClassifieds();
    dialogs.clear();
    // Yes and a ".HLX" name: written enciphered as ".chc".
    dialogs.answers = {true};
    dialogs.fileNames = {pf.path("data/custom/Mine.HLX")};
    db->save();
    ASSERT_EQ(dialogs.texts(),
              QStringList({"Do you want to save this file as a custom database?"}));
    EXPECT_EQ(dialogs.shown[0].caption, "Save As");
    EXPECT_FALSE(pf.exists("data/custom/Mine.HLX"));
    EXPECT_EQ(pf.readEngines("data/custom/Mine.chc"), db->engineLines().lines());

    // No: the loaded data.hlz is overwritten enciphered.
    db->setEditorName("Echo");
    db->addEngine();
    db->save();
    EXPECT_EQ(pf.readEngines("data/data.hlz").size(), 5);

    // A custom plain file is written back plain.
    dialogs.fileNames = {pf.path("data/custom/Mine.chc")};
    db->selectCustom();
    pf.writeBytes("data/custom/p.hlx", (engineLine("P1") + "\r\n").toUtf8());
    dialogs.fileNames = {pf.path("data/custom/p.hlx")};
    db->selectCustom();
    db->setEditorName("P2");
    db->addEngine();
    db->save();
    EXPECT_EQ(pf.readBytes("data/custom/p.hlx"),
              (engineLine("P1") + "\r\n" + engineLine("P2") + "\r\n").toUtf8());
}
