#include "common/LineSplitter.h"
#include "support/MainWindowTest.h"
#include "support/RarWriter.h"
#include "support/TargetSim.h"
#include "update/ui/TUpdateBox.h"
#include "update/Updater.h"
#include "UpdateFixture.h"

#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>
#include <QTimer>

using namespace lb;
using lb::test::rarFile;

namespace {

class UpdateBoxTest : public lb::test::MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        pf.writeEngines("data/data.hlz", lb::test::engineLines({"OldFFA"}));
        pf.writeEngines("data/engines.hlz", lb::test::engineLines({"OldSearch"}));
        open().setWindows(box.get(), nullptr, nullptr, nullptr, nullptr);
        w->show();
    }
    void useHost(quint16 port) {
        pf.writeBytes("zkt.ini",
                      QStringLiteral("[Update]\r\nHost=127.0.0.1:%1\r\n").arg(port).toUtf8());
    }
    template <class T> T* find(QWidget* in, const char* name) {
        return lb::test::named<T>(in, name);
    }
    QStringList keyList() { return names("KeyList"); }

    void TearDown() override {
        box.reset();
        MainWindowTest::TearDown();
    }

    std::unique_ptr<TUpdateBox> box = std::make_unique<TUpdateBox>();
};

} // namespace

TEST_F(UpdateBoxTest, CancelDuringTheDownloadEndsWithNoUpdateAndChangesNothing) {
    lb::test::RawServer server;
    server.addScript({{lb::test::RawServer::Step::Send,
                       "HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\nRar!\x1a\x07", 0},
                      {lb::test::RawServer::Step::HoldUntilClosed, {}, 0}});
    useHost(server.port());
    const QByteArray dataBefore = pf.readBytes("data/data.hlz");

    auto* update = find<QPushButton>(w.get(), "UpdateButton");
    auto* info = find<QLabel>(box.get(), "InfoLabel");
    auto* cancel = find<QPushButton>(box.get(), "UpdateAbort");
    auto* bar = find<QProgressBar>(box.get(), "UpdateBar1");
    ASSERT_TRUE(update && info && cancel && bar);
    EXPECT_EQ(info->text(), "Status:");
    EXPECT_EQ(cancel->text(), "Cancel");
    EXPECT_FALSE(cancel->isEnabled());
    EXPECT_EQ(update->text(), "DB Update");

    // While the download hangs: look at the window, then press Cancel.
    bool sawLoading = false;
    QTimer poll;
    poll.setInterval(20);
    int ticks = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (++ticks > 500) { // bounded: give up after ten seconds
            cancel->click();
            poll.stop();
        }
        if (box->isVisible() && info->text() == "Status: Loading" && cancel->isEnabled() &&
            !update->isEnabled() && !bar->isVisible() && server.connections() == 1) {
            sawLoading = true;
            poll.stop();
            cancel->click();
        }
    });
    poll.start();
    update->click();
    poll.stop();

    EXPECT_TRUE(sawLoading);
    EXPECT_TRUE(info->text().startsWith("Status: Failed : ")) << info->text().toStdString();
    EXPECT_EQ(dialogs.texts(),
              QStringList({"No Update Available at this time... Please try again later."}));
    EXPECT_EQ(dialogs.shown[0].caption, "No Update");
    EXPECT_FALSE(box->isVisible());
    EXPECT_TRUE(update->isEnabled());
    EXPECT_FALSE(cancel->isEnabled());
    EXPECT_FALSE(pf.exists("data/kestrel.hlz"));
    EXPECT_EQ(pf.readBytes("data/data.hlz"), dataBefore);
}

TEST_F(UpdateBoxTest, YesLoadsTheNewDatabaseIntoTheEngineLists) {
    const QByteArray ffa = joinLinesCrLf(lb::test::engineLines({"NewFFA1", "NewFFA2"}));
    const QByteArray search = joinLinesCrLf(lb::test::engineLines({"NewSearch"}));
    QTemporaryDir archives;
    const QString archive = archives.filePath("en-kestrel.hlz");
    ASSERT_TRUE(lb::test::writeRarArchive(archive.toStdString(),
                                          {rarFile("data.hlz", ffa.toStdString()),
                                           rarFile("engines.hlz", search.toStdString()),
                                           rarFile("un.pac", "data.hlz\r\nengines.hlz\r\n")}));
    lb::test::TargetSim sim({"--update-archive", archive});
    ASSERT_TRUE(sim.ok());
    useHost(sim.port());
    EXPECT_EQ(keyList(), QStringList({"OldFFA"}));

    auto* bar = find<QProgressBar>(box.get(), "UpdateBar1");
    auto* info = find<QLabel>(box.get(), "InfoLabel");
    QList<QPair<int, int>> progress; // maximum, value while the bar shows
    QStringList texts;
    QObject::connect(&w->updater(), &Updater::changed, [&] {
        if (texts.isEmpty() || texts.last() != info->text())
            texts << info->text();
        if (bar->isVisible() && bar->value() > 0)
            progress.append({bar->maximum(), bar->value()});
    });
    dialogs.answers = {true};
    find<QPushButton>(w.get(), "UpdateButton")->click();

    EXPECT_EQ(
        texts,
        QStringList({"Status:", "Status: Loading",
                     QStringLiteral("Status: Received %1 bytes").arg(QFileInfo(archive).size()),
                     "Status: Extracting"}));
    EXPECT_TRUE(progress.contains({int(ffa.size()), int(ffa.size())}));
    EXPECT_TRUE(progress.contains({int(search.size()), int(search.size())}));
    EXPECT_EQ(dialogs.texts(),
              QStringList({"Update Complete.\n Do you wish to Load the updated database  ?"}));
    EXPECT_TRUE(find<QRadioButton>(w.get(), "RadioButton1")->isChecked());
    const QStringList names = keyList();
    for (const char* n : {"NewFFA1", "NewFFA2", "NewSearch"})
        EXPECT_TRUE(names.contains(n)) << n;
    EXPECT_EQ(pf.readEngines("data/data.hlz"), lb::test::engineLines({"NewFFA1", "NewFFA2"}));
    EXPECT_FALSE(box->isVisible());
    EXPECT_FALSE(bar->isVisible());
}
