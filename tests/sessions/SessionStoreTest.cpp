#include "sessions/SessionStore.h"
#include "support/ProgramFolder.h"
#include "support/ScriptedDialogs.h"

#include <gtest/gtest.h>
#include <QDir>

using namespace lb;
using lb::test::ProgramFolder;
using lb::test::ScriptedDialogs;

namespace {

class SessionStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        store = std::make_unique<SessionStore>(pf.dir.path(), dialogs);
        store->readIndex();
    }
    void save(const QString& name, const QString& title = QString()) {
        SessionRecord r;
        r.name = name;
        r[SessionRecord::Title] = title;
        store->setEditor(r);
        store->addEdit();
    }
    QByteArray index() const { return pf.readBytes("data/session/session.hlx"); }

    ProgramFolder pf;
    ScriptedDialogs dialogs;
    std::unique_ptr<SessionStore> store;
};

} // namespace

TEST_F(SessionStoreTest, SavingWritesTheSessionFileAndTheIndexByteForByte) {
    SessionRecord r;
    r.name = "Garden Tools";
    r[SessionRecord::Title] = "Hand tools for small gardens";
    r[SessionRecord::Category] = "Business";
    r[SessionRecord::Address2] = "";
    r[SessionRecord::Key1] = "garden";
    r[SessionRecord::Key16] = "last";
    store->setEditor(r);
    EXPECT_TRUE(store->addEdit());
    EXPECT_TRUE(dialogs.shown.isEmpty());
    EXPECT_EQ(index(), QByteArray("[Session]\r\nCount=0\r\n[List]\r\n0=Garden Tools\r\n"));

    QByteArray expected = "[Garden Tools]\r\nurl=\r\ntitle=Hand tools for small gardens\r\n"
                          "email=\r\ndescription=\r\ncatagory=Business\r\nname=\r\nlast=\r\n"
                          "company=\r\naddress1=\r\naddress2=\r\ncountry=\r\ncity=\r\nstate=\r\n"
                          "phone=\r\nfax=\r\nzip=\r\nkey1=garden\r\n";
    for (int k = 2; k <= 15; ++k)
        expected += "key" + QByteArray::number(k) + "=\r\n";
    expected += "key16=last\r\n";
    EXPECT_EQ(pf.readBytes("data/session/Garden Tools.hlx"), expected);

    save("Second Site");
    EXPECT_EQ(index(), QByteArray("[Session]\r\nCount=1\r\n[List]\r\n0=Garden Tools\r\n"
                                  "1=Second Site\r\n"));
    EXPECT_EQ(store->sesList().names(), QStringList({"Garden Tools", "Second Site"}));
    EXPECT_EQ(store->sesList2().names(), store->sesList().names());

    EXPECT_EQ(SessionStore::readSession(pf.dir.path(), "Garden Tools"), r);
}

TEST_F(SessionStoreTest, ModifyingAsksAndRewritesAllKeys) {
    save("Site", "old");
    SessionRecord r;
    r.name = "Site";
    r[SessionRecord::Title] = "new";
    r[SessionRecord::Address2] = "Flat 2";
    store->setEditor(r);
    EXPECT_FALSE(store->addEdit()); // No
    EXPECT_EQ(dialogs.texts(),
              QStringList({"Session name already exists.\nDo you wish to modify it  ?"}));
    EXPECT_EQ(dialogs.shown[0].caption, "Modify Session Name");
    EXPECT_EQ(SessionStore::readSession(pf.dir.path(), "Site")[SessionRecord::Title], "old");
    dialogs.answers = {true};
    EXPECT_TRUE(store->addEdit());
    EXPECT_EQ(SessionStore::readSession(pf.dir.path(), "Site"), r);
    EXPECT_EQ(index(), QByteArray("[Session]\r\nCount=0\r\n[List]\r\n0=Site\r\n"));
}

TEST_F(SessionStoreTest, NamesDifferingInCaseAreNewSessions) {
    save("Site");
    save("site");
    EXPECT_TRUE(dialogs.shown.isEmpty());
    EXPECT_EQ(store->sesList().names(), QStringList({"Site", "site"}));
    EXPECT_EQ(index(), QByteArray("[Session]\r\nCount=1\r\n[List]\r\n0=Site\r\n1=site\r\n"));
}

// Names refused with their message and caption; nothing is written for any of them.
TEST_F(SessionStoreTest, RefusedNamesWriteNothing) {
    const QString reserved = "Sorry that name is being used by this program";
    const QString badChar = "Sorry you can not use that char!";
    const struct {
        QString name, text, caption;
    } refused[] = {
        {"LIST", reserved, "Invalid Session Name"},
        {"session", reserved, "Invalid Session Name"},
        {"", "You have no Session_Name to save.", "No Session Name"},
        // Names leading out of the session folder.
        {"../evil", badChar, "Char not allowd"},
        {"a/b", badChar, "Char not allowd"},
        {"..\\x", badChar, "Char not allowd"},
        {"..", badChar, "Char not allowd"},
        // Names that would break their section or their file.
        {"two\nlines", badChar, "Char not allowd"},
        {"cr\rname", badChar, "Char not allowd"},
        {"a]b", badChar, "Char not allowd"},
        {"a[b", badChar, "Char not allowd"},
        {QString(201, QLatin1Char('n')), badChar, "Char not allowd"},
        {QString(101, QChar(0x00e9)), badChar, "Char not allowd"}, // 202 bytes in UTF-8
    };
    for (const auto& r : refused) {
        dialogs.clear();
        save(r.name);
        ASSERT_EQ(dialogs.texts(), QStringList({r.text})) << r.name.toStdString();
        EXPECT_EQ(dialogs.shown[0].caption, r.caption);
    }
    EXPECT_TRUE(store->sesList().isEmpty());
    EXPECT_FALSE(pf.exists("data/session/session.hlx"));
    EXPECT_FALSE(pf.exists("data/evil.hlx"));
    EXPECT_EQ(QDir(pf.path("data/session")).entryList(QDir::Files), QStringList());

    // The longest names, and a reserved word in a longer name, are saved.
    dialogs.clear();
    for (const QString& n :
         {QString(200, QLatin1Char('n')), QString(100, QChar(0x00e9)), QString("Lists")})
        save(n);
    EXPECT_TRUE(dialogs.texts().isEmpty());
    EXPECT_EQ(store->sesList().count(), 3);
}

TEST_F(SessionStoreTest, AHostileNamePlantedInTheIndexIsNeitherReadNorDeleted) {
    pf.writeBytes("data/victim.hlx", "keep");
    pf.writeBytes("data/session/session.hlx", "[List]\r\n0=../victim\r\n");
    store->readIndex();
    store->select(0);
    store->sesListSelection().setCurrentIndex(store->sesList().index(0, 0),
                                              QItemSelectionModel::ClearAndSelect);
    store->deleteSelected();
    EXPECT_EQ(dialogs.texts(), QStringList({"Sorry you can not use that char!"}));
    EXPECT_EQ(pf.readBytes("data/victim.hlx"), QByteArray("keep"));
    EXPECT_EQ(store->sesList().count(), 1);
}

TEST_F(SessionStoreTest, TypingASeparatorWarnsButKeepsTheText) {
    store->setSessionName("a/");
    EXPECT_EQ(dialogs.texts(), QStringList({"Sorry you can not use that char!"}));
    EXPECT_EQ(store->editor().name, "a/");
    store->setSessionName("plain");
    EXPECT_EQ(dialogs.shown.size(), 1);
}

TEST_F(SessionStoreTest, DeleteSelectsANeighbourAndTheOnlySessionLeavesCount) {
    store->deleteSelected();
    EXPECT_EQ(dialogs.texts(), QStringList({"You have not selected an item to Delete"}));
    EXPECT_EQ(dialogs.shown[0].caption, "No Item");
    save("A", "ta");
    save("B", "tb");
    save("C", "tc");
    store->select(2);
    store->deleteSelected();
    EXPECT_FALSE(pf.exists("data/session/C.hlx"));
    EXPECT_EQ(store->sesList().names(), QStringList({"A", "B"}));
    EXPECT_EQ(store->selectedRow(), 1);
    EXPECT_EQ(store->editor().name, "B");
    EXPECT_EQ(store->editor()[SessionRecord::Title], "tb");
    EXPECT_EQ(index(), QByteArray("[Session]\r\nCount=1\r\n[List]\r\n0=A\r\n1=B\r\n"));
    // Rows outside the list select nothing and leave the editor.
    for (int row : {-1, 2}) {
        store->select(row);
        EXPECT_EQ(store->selectedRow(), 1) << row;
        EXPECT_EQ(store->editor().name, "B") << row;
    }

    store->select(0);
    store->deleteSelected();
    EXPECT_EQ(store->editor().name, "B");
    store->deleteSelected();
    EXPECT_TRUE(store->sesList().isEmpty());
    EXPECT_TRUE(store->sesList2().isEmpty());
    EXPECT_EQ(index(), QByteArray("[Session]\r\nCount=0\r\n")); // as the last rewrite left it
    EXPECT_EQ(store->editor()[SessionRecord::Title], "");
}

TEST(SessionFields, CategoriesAndLimits) {
    EXPECT_EQ(sessionCategories().size(), 31);
    EXPECT_EQ(sessionCategories().at(17), "Miscellaneous"); // listed twice
    EXPECT_EQ(sessionMaxLength(SessionRecord::Url), 100);
    EXPECT_EQ(sessionMaxLength(SessionRecord::Title), 60);
    EXPECT_EQ(sessionMaxLength(SessionRecord::Description), 150);
    EXPECT_EQ(sessionMaxLength(SessionRecord::Key16), 150);
}
