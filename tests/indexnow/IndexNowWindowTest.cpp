// The IndexNow dialog opened from "Step3 Submit": settings, the key file and a
// submission of "Sessions to submit" against target-sim's endpoint.
#include "common/IniFile.h"
#include "indexnow/ui/TIndexNow.h"
#include "support/MainWindowTest.h"
#include "support/TargetSim.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>

using namespace lb;
using lb::test::TargetSim;

namespace {

const QString kKey = QStringLiteral("linkbeacon-demo-key");

class IndexNowWindowTest : public lb::test::MainWindowTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.ok());
        MainWindowTest::SetUp();
        pf.writeEngines("data/data.hlz", {lb::test::engineLine(QStringLiteral("Engine"))});
        pf.writeBytes("data/session/session.hlx",
                      "[Session]\r\nCount=3\r\n[List]\r\n0=Shop\r\n1=Blog\r\n2=Bare\r\n");
        pf.writeBytes("data/session/Shop.hlx", "[Shop]\r\nurl=http://shop.example.com/\r\n");
        pf.writeBytes("data/session/Blog.hlx", "[Blog]\r\nurl=http://Blog.example.org/new\r\n");
        pf.writeBytes("data/session/Bare.hlx", "[Bare]\r\ntitle=no address\r\n");
        pf.writeBytes(
            "zkt.ini",
            ("[IndexNow]\r\nEndpoints=" + sim.url(QStringLiteral("/indexnow")) + "\r\n").toUtf8());
        open();
    }
    template <class T> T* child(QObject* in, const char* name) {
        return lb::test::named<T>(in, name);
    }
    TIndexNow* openDialog() {
        child<QPushButton>(w.get(), "SubIndexNow")->click();
        return child<TIndexNow>(w.get(), "IndexNow");
    }

    TargetSim sim;
};

} // namespace

TEST_F(IndexNowWindowTest, SubmitsTheSessionsToSubmitAndReportsEachPost) {
    for (int row = 0; row < 3; ++row)
        lb::test::queueSession(*w, row);
    TIndexNow* d = openDialog();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->windowTitle(), QStringLiteral("IndexNow"));
    EXPECT_EQ(child<QLineEdit>(d, "IndexEndpoints")->text(), sim.url(QStringLiteral("/indexnow")));

    // A bad key is refused before anything is sent.
    ASSERT_EQ(w->subList().count(), 3);
    const qsizetype before = dialogs.shown.size();
    child<QLineEdit>(d, "IndexKey")->setText(QStringLiteral("short"));
    child<QPushButton>(d, "IndexSubmit")->click();
    ASSERT_EQ(dialogs.shown.size(), before + 1);
    EXPECT_EQ(dialogs.shown.last().caption, QStringLiteral("IndexNow"));
    EXPECT_TRUE(sim.requests().isEmpty());

    child<QLineEdit>(d, "IndexKey")->setText(kKey);
    child<QPushButton>(d, "IndexSubmit")->click();
    auto* stop = child<QPushButton>(d, "IndexStop");
    EXPECT_TRUE(stop->isEnabled());
    ASSERT_TRUE(lb::test::runUntil([&] { return !stop->isEnabled(); }));

    // One post per host; the session without an address is left out.
    const auto log = sim.requests();
    ASSERT_EQ(log.size(), 2);
    EXPECT_TRUE(log[0][QStringLiteral("body")].toString().contains(
        QStringLiteral("\"host\":\"shop.example.com\"")));
    EXPECT_TRUE(log[1][QStringLiteral("body")].toString().contains(
        QStringLiteral("\"host\":\"blog.example.org\"")));
    const QString memo = child<QPlainTextEdit>(w.get(), "Memo3")->toPlainText();
    EXPECT_EQ(memo.count(QStringLiteral("IndexNow 127.0.0.1 Status: 202 Accepted")), 2)
        << qPrintable(memo);
    EXPECT_EQ(child<QPlainTextEdit>(d, "IndexMemo")
                  ->toPlainText()
                  .count(QStringLiteral("Status: 202 Accepted")),
              2);

    // The report names the sessions and the result of every post.
    const QString report = QString::fromUtf8(pf.readBytes("reports/IndexNow.htm"));
    EXPECT_TRUE(report.contains(QStringLiteral("Shop: </b>http://shop.example.com/")));
    EXPECT_FALSE(report.contains(QStringLiteral("Bare")));
    EXPECT_EQ(report.count(QStringLiteral(": IndexNow 127.0.0.1 Status: 202 Accepted")), 2)
        << qPrintable(report);

    // The settings stay for the next start.
    lb::IniFile ini(pf.path("zkt.ini"));
    EXPECT_EQ(ini.readString(QStringLiteral("IndexNow"), QStringLiteral("Key")), kKey);
}

TEST_F(IndexNowWindowTest, WritesTheKeyFileIntoTheChosenFolder) {
    TIndexNow* d = openDialog();
    ASSERT_NE(d, nullptr);
    child<QLineEdit>(d, "IndexKey")->setText(kKey);
    QTemporaryDir site;
    dialogs.fileNames.append(site.filePath(QStringLiteral("whatever.txt")));
    child<QPushButton>(d, "IndexWriteKey")->click();
    QFile f(site.filePath(kKey + QStringLiteral(".txt")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), kKey.toUtf8());
    EXPECT_FALSE(QFile::exists(site.filePath(QStringLiteral("whatever.txt"))));
}

TEST_F(IndexNowWindowTest, NothingToSubmitIsExplained) {
    TIndexNow* d = openDialog();
    ASSERT_NE(d, nullptr);
    child<QLineEdit>(d, "IndexKey")->setText(kKey);
    const qsizetype before = dialogs.shown.size();
    child<QPushButton>(d, "IndexSubmit")->click();
    ASSERT_EQ(dialogs.shown.size(), before + 1);
    EXPECT_TRUE(dialogs.shown.last().text.contains(QStringLiteral("Sessions to submit")));
    EXPECT_TRUE(child<QPushButton>(d, "IndexSubmit")->isEnabled());
    EXPECT_TRUE(sim.requests().isEmpty());
}
