// The crawler options window driven as a user drives it.
#include "app/TKestrel.h"
#include "ffa/FfaCrawler.h"
#include "ffa/ui/TCustomQ.h"
#include "ffa/ui/TFFA_Crawler.h"
#include "liststore/QDB.h"
#include "support/MainWindowTest.h"
#include "support/ProgramFolder.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace lb;
using lb::test::ProgramFolder;
using lb::test::ScriptedDialogs;

namespace {

class CustomQTest : public lb::test::WindowTest<TCustomQ> {
protected:
    void SetUp() override {
        w.setDialogs(&dialogs);
        w.openStore(pf.dir.path());
    }
    void choose(const QString& name) {
        QComboBox* box = child<QComboBox>("CkeyList");
        box->setEditText(name);
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    }
    void memo(const char* name, const QString& t) { child<QPlainTextEdit>(name)->setPlainText(t); }
    QString kb() { return child<QLineEdit>("Ckb")->text(); }
    QString count() { return child<QLabel>("Label5")->text(); }
    QStringList listed() { return lb::test::rowTexts(child<QComboBox>("CkeyList")->view()); }
};

} // namespace

// Profiles made, saved, chosen, edited and deleted through the controls; the
// count caption follows the keyword memos as they are typed.
TEST_F(CustomQTest, NewSaveSelectEditDelete) {
    QSignalSpy saved(&w, &TCustomQ::saved);
    const QColor grey(0xC0, 0xC0, 0xC0);
    click("Button1"); // New
    EXPECT_EQ(kb(), "");
    EXPECT_NE(child<QLineEdit>("Ckb")->palette().color(QPalette::Base), grey);
    type("Ckb", "150");
    type("Cstring", "3");
    memo("Terms1", "red\nblue");
    memo("Terms2", "car");
    memo("Bonus2", "new\nold");
    memo("Bonus1", "fast");
    EXPECT_EQ(count(), "4");
    // An empty last line is no line; a typed one counts at once.
    QPlainTextEdit* bonus1 = child<QPlainTextEdit>("Bonus1");
    bonus1->moveCursor(QTextCursor::End);
    QTest::keyClick(bonus1, Qt::Key_Return);
    EXPECT_EQ(count(), "4");
    QTest::keyClicks(bonus1, "slow");
    EXPECT_EQ(count(), "8");
    EXPECT_EQ(w.keywordList(2), QStringList({"fast", "slow"}));
    w.CkeyList()->setEditText("Cars");
    click("Button2"); // Save
    EXPECT_EQ(listed(), QStringList({"Cars"}));
    ASSERT_EQ(saved.count(), 1);
    EXPECT_EQ(saved[0][0].toString(), "3");
    EXPECT_EQ(saved[0][1].toString(), "8");
    EXPECT_EQ(child<QLineEdit>("Ckb")->palette().color(QPalette::Base), grey);

    click("Button1");
    type("Ckb", "99");
    memo("Terms1", "x");
    w.CkeyList()->setEditText("boats");
    click("Button2");
    EXPECT_EQ(listed(), QStringList({"boats", "Cars"}));

    choose("Cars"); // selecting fetches the profile and recounts
    EXPECT_EQ(kb(), "150");
    EXPECT_EQ(child<QPlainTextEdit>("Terms1")->toPlainText(), "red\nblue");
    EXPECT_EQ(count(), "8");

    click("Button3"); // Edit
    type("Ckb", "175");
    click("Button2");
    choose("boats");
    EXPECT_EQ(kb(), "99");
    choose("Cars");
    EXPECT_EQ(kb(), "175");

    // Cancel abandons an edit and shows the stored values again.
    click("Button3");
    type("Ckb", "1");
    click("Button6");
    EXPECT_EQ(kb(), "175");

    click("Button5"); // Delete
    EXPECT_EQ(listed(), QStringList({"boats"}));
    TQDB raw;
    raw.setFileName(pf.path("setting.set"));
    EXPECT_FALSE(raw.findKey("Cars"));
    EXPECT_TRUE(raw.findKey("boats"));
    EXPECT_TRUE(dialogs.shown.isEmpty()) << dialogs.texts().join("|").toStdString();
}

// The main window gives the options window its store and the crawler window
// reads the options' controls as they stand.
TEST(CustomQFromCrawler, MainWindowAssignsTheStoreAndCustomizeShowsTheWindow) {
    ProgramFolder pf;
    pf.writeStandardFiles();
    pf.writeEngines("data/data.hlz", lb::test::engineLines({"Alpha"}));
    lb::test::InFolder cwd(pf.dir.path());
    ScriptedDialogs dialogs;
    TKestrel k(dialogs);
    TFFA_Crawler crawler;
    TCustomQ options;
    k.setWindows(nullptr, nullptr, nullptr, &crawler, &options);
    // A default profile with keyword lists waits in the store.
    {
        TCustomQ writer;
        writer.setDialogs(&dialogs);
        writer.openStore(pf.dir.path());
        writer.Terms1()->setPlainText("a\nb");
        writer.Terms2()->setPlainText("c");
        writer.Bonus1()->setPlainText("d");
        writer.Bonus2()->setPlainText("e\nf\ng");
        writer.CkeyList()->setEditText("default");
        dialogs.answers = {true};
        writer.Button2Click();
        dialogs.clear();
    }
    QTest::mouseClick(k.findChild<QPushButton*>("Crawler"), Qt::LeftButton);
    EXPECT_TRUE(crawler.isVisible());
    EXPECT_EQ(crawler.Pathtxt()->text(), pf.dir.path());
    EXPECT_EQ(options.CkeyList()->currentText(), "default");
    options.Label5()->setText("stale");
    QTest::mouseClick(crawler.findChild<QAbstractButton*>("Customize"), Qt::LeftButton);
    EXPECT_TRUE(options.isVisible());
    EXPECT_EQ(options.Label5()->text(), "6");
    options.Ckb()->setText("75");
    EXPECT_EQ(crawler.crawler().options().maxKb, "75");
    EXPECT_EQ(crawler.crawler().options().terms1, QStringList({"a", "b"}));
    // Save copies "String #" and the count into the crawler's captions.
    options.Cstring()->setText("4");
    options.CkeyList()->setEditText("other");
    QTest::mouseClick(options.findChild<QPushButton*>("Button2"), Qt::LeftButton);
    EXPECT_EQ(crawler.findChild<QLabel*>("Panel10")->text(), "4");
    EXPECT_EQ(crawler.findChild<QLabel*>("Panel13")->text(), "6");
    // The crawler refuses the database the main window has loaded.
    dialogs.fileNames = {pf.path("data/data.hlz")};
    QTest::mouseClick(crawler.findChild<QAbstractButton*>("OpenPro"), Qt::LeftButton);
    EXPECT_EQ(dialogs.texts().value(0), "The database you have selected is in use by the rangers.");
}
