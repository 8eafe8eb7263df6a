// The "Meta_Creator" window driven through its controls, in a real program folder.
#include "common/ProxySettings.h"
#include "meta/MetaCreator.h"
#include "meta/ui/TMeta_Creator.h"
#include "reports/ui/ThtmlLite.h"
#include "source/ui/TColorMemo.h"
#include "support/MainWindowTest.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QUrl>

using namespace lb;

namespace {

class MetaWindowTest : public lb::test::WindowTest<TMeta_Creator> {
protected:
    void SetUp() override {
        pf.writeStandardFiles();
        pf.writeBytes("help/meta.htm", "<html><body>How to make META tags</body></html>");
        QDir(pf.dir.path()).mkpath("data/meta");
        QDir(pf.dir.path()).mkpath("data/html");
        w.attach(pf.dir.path(), dialogs, ProxySettings());
        w.open();
    }
    QStringList listNames() { return lb::test::rowTexts(child<QListView>("SesList")); }
    void clickListRow(int row) {
        auto* v = child<QListView>("SesList");
        const QModelIndex i = v->model()->index(row, 0);
        v->scrollTo(i);
        QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, v->visualRect(i).center());
    }
};

} // namespace

// Typing stops at the editor's length, what the program puts in stays whole;
// Build shows the block, and tag sets are saved, loaded and deleted from the list.
TEST_F(MetaWindowTest, EditorsBuildAndTagSets) {
    EXPECT_TRUE(w.Help1()->toPlainText().contains("How to make META tags"));
    type("title", QString(70, 'x'));
    EXPECT_EQ(child<QLineEdit>("title")->text(), QString(60, 'x'));
    w.creator()->fields.title = QString(80, 'y');
    emit w.creator()->fieldsChanged();
    EXPECT_EQ(child<QLineEdit>("title")->text().size(), 80);

    type("title", "Garden");
    type("Key1", "spade, fork");
    child<QPlainTextEdit>("Comment")->setPlainText("made by hand");
    child<QComboBox>("EMonth")->setCurrentText("Dec");
    click("KeywordsCk");
    click("Button1");
    EXPECT_EQ(child<QTabWidget>("PageControl1")->currentIndex(), 1);
    EXPECT_EQ(w.Memo2()->Lines(), QStringList({"<HEAD>", "<TITLE>Garden</TITLE>",
                                               "<META NAME=\"Keywords\" CONTENT=\"spade, fork\">",
                                               "</HEAD>", "<!--made by hand-->"}));

    type("Session_Name", "Garden");
    click("SiteAdd");
    type("Session_Name", "Second");
    type("title", "Other");
    click("SiteAdd");
    EXPECT_EQ(listNames(), QStringList({"Garden", "Second"}));
    click("MetaClear");
    EXPECT_EQ(child<QLineEdit>("title")->text(), "");
    clickListRow(0);
    EXPECT_EQ(child<QLineEdit>("title")->text(), "Garden");
    EXPECT_EQ(child<QComboBox>("EMonth")->currentText(), "Dec");
    EXPECT_EQ(child<QLineEdit>("Session_Name")->text(), "Garden");
    // Deleting the last entry selects and loads the new last one.
    clickListRow(1);
    click("SiteDel");
    EXPECT_EQ(listNames(), QStringList{"Garden"});
    EXPECT_FALSE(pf.exists("data/meta/Second.tag"));
    EXPECT_EQ(child<QLineEdit>("title")->text(), "Garden");
    EXPECT_TRUE(dialogs.shown.isEmpty()) << dialogs.texts().join('|').toStdString();
}

TEST_F(MetaWindowTest, FetchesTheDocumentOnlineAndInjects) {
    test::TargetSim sim;
    ASSERT_TRUE(sim.ok());
    const QByteArray answer = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n"
                              "<HTML>\r\n<HEAD><TITLE>Remote</TITLE></HEAD>\r\n<BODY></BODY>\r\n";
    // Choosing the document source enables the matching controls.
    for (const char* off : {"OnlineDoc", "LoadDoc", "urllist", "FileDoc", "Abort"})
        EXPECT_FALSE(child<QWidget>(off)->isEnabled()) << off;
    click("SelectDoc");
    click("LoadDoc");
    EXPECT_TRUE(child<QWidget>("FileDoc")->isEnabled());
    click("OnlineDoc");
    EXPECT_TRUE(child<QWidget>("urllist")->isEnabled());
    EXPECT_FALSE(child<QWidget>("FileDoc")->isEnabled());
    type("title", "Here");
    // Longer than the 100 characters typing allows: put in as the program would.
    child<QLineEdit>("urllist")->setText(sim.url("/raw?data=") +
                                         QString::fromLatin1(QUrl::toPercentEncoding(answer)));
    click("Button1");
    EXPECT_FALSE(child<QPushButton>("FileSave")->isEnabled());
    EXPECT_TRUE(child<QPushButton>("Abort")->isEnabled());
    EXPECT_TRUE(child<QLabel>("InfoLabel")->text().startsWith("Status: Recevied "));
    ASSERT_TRUE(test::runUntil([&] { return child<QLabel>("Label11")->text() == "Done"; }));
    EXPECT_EQ(w.SourceBox()->Lines(),
              QStringList({"<HTML>", "<HEAD>", "<TITLE>Here</TITLE>", "</HEAD>", "<BODY></BODY>"}));
    EXPECT_FALSE(pf.exists("temp.txt"));
    EXPECT_TRUE(child<QPushButton>("FileSave")->isEnabled());
    EXPECT_FALSE(child<QPushButton>("Abort")->isEnabled());
    EXPECT_TRUE(dialogs.shown.isEmpty());

    // A fetch aborted while it hangs keeps the document and says so in the status.
    type("urllist", sim.url("/hang"));
    click("Button1");
    ASSERT_TRUE(test::runUntil([&] { return sim.requests().size() == 2; }));
    click("Abort");
    ASSERT_TRUE(test::runUntil([&] { return child<QLabel>("Label11")->text() == "Done"; }));
    EXPECT_EQ(child<QLabel>("InfoLabel")->text(),
              "Status: Failed : 404 Connection aborted on request");
    EXPECT_EQ(w.SourceBox()->Lines().value(2), "<TITLE>Here</TITLE>");
}
