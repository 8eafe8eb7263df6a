// The updater: download, test, install, and the update box of the main window.
#include "update/UpdateFixture.h"

#include "common/LineSplitter.h"
#include "common/Paths.h"
#include "engines/EngineCipher.h"
#include "net/HttpProt.h"
#include "support/CliRun.h"
#include "support/MainWindowTest.h"
#include "support/TargetSim.h"
#include "update/SigningKey.h"
#include "update/TRAR.h"
#include "update/ui/TUpdateBox.h"
#include "update/Updater.h"

#include <gtest/gtest.h>
#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>
#include <QTimer>

#include <optional>

using namespace lb;
using rarwriter::RarEntry;
using lb::test::rarFile;
using lb::test::ScriptedDialogs;

namespace {

const char kNoUpdate[] = "No Update Available at this time... Please try again later.";
const char kComplete[] = "Update Complete.\n Do you wish to Load the updated database  ?";

class UpdaterTest : public ::testing::Test {
protected:
    void SetUp() override {
        updater.loadDatabase = [this] { ++loads; };
        QObject::connect(&updater, &Updater::statusShown,
                         [this](const QString& s) { statuses << s; });
    }
    Updater::Outcome runAgainst(const QString& archivePath) {
        sim = std::make_unique<lb::test::TargetSim>(QStringList{"--update-archive", archivePath});
        EXPECT_TRUE(sim->ok());
        updater.host = QStringLiteral("127.0.0.1:%1").arg(sim->port());
        return updater.UpdateButtonClick();
    }
    void
    expectMessages(const QList<std::tuple<ScriptedDialogs::Kind, QString, QString>>& expected) {
        ASSERT_EQ(dialogs.shown.size(), expected.size()) << dialogs.texts().join('|').toStdString();
        for (int i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(dialogs.shown[i].kind, std::get<0>(expected[i]));
            EXPECT_EQ(dialogs.shown[i].text, std::get<1>(expected[i]));
            EXPECT_EQ(dialogs.shown[i].caption, std::get<2>(expected[i]));
        }
    }

    // An update of another program folder from host: its outcome, status
    // lines and messages; a failed one leaves the folder as it was.
    struct Run {
        Updater::Outcome outcome;
        QStringList statuses, texts;
    };
    Run updateFolder(lb::test::UpdateFolder& folder, quint16 port) {
        const auto before = folder.snapshot();
        ScriptedDialogs shown;
        Updater u{folder.dir.path(), http, rar, shown};
        Run r;
        QObject::connect(&u, &Updater::statusShown, [&](const QString& s) { r.statuses << s; });
        u.host = QStringLiteral("127.0.0.1:%1").arg(port);
        r.outcome = u.UpdateButtonClick();
        r.texts = shown.texts();
        if (r.outcome != Updater::Outcome::Complete)
            EXPECT_EQ(folder.snapshot(), before);
        return r;
    }

    lb::test::UpdateFolder pf;
    ScriptedDialogs dialogs;
    net::THttpCli http;
    TRAR rar;
    Updater updater{pf.dir.path(), http, rar, dialogs};
    std::unique_ptr<lb::test::TargetSim> sim;
    QStringList statuses;
    int loads = 0;
};

} // namespace

TEST_F(UpdaterTest, InstallsEnciphersListedFilesMergesFoldersAndOffersToLoad) {
    const std::string data = "Alpha=|x|\r\nBeta=|y|\r\n";
    const std::string engines = "Search=|s|\r\n";
    const QString archive =
        pf.archive({rarFile("data.hlz", data), rarFile("engines.hlz", engines),
                    rarFile("sub\\new.txt", "plain"), rarFile("fresh\\f.txt", "f"),
                    rarFile("un.pac", "data.hlz\r\nengines.hlz\n")});
    dialogs.answers = {true};
    EXPECT_EQ(runAgainst(archive), Updater::Outcome::Complete);
    EXPECT_EQ(
        statuses,
        QStringList({"Status: Loading",
                     QStringLiteral("Status: Received %1 bytes").arg(QFileInfo(archive).size()),
                     "Status: Extracting"}));
    expectMessages({{ScriptedDialogs::Kind::Ask, kComplete, "Update Complete"}});
    EXPECT_EQ(loads, 1);

    EXPECT_EQ(pf.read("data/data.hlz"), encipherEngineText(QByteArray::fromStdString(data)));
    EXPECT_EQ(pf.read("data/engines.hlz"), encipherEngineText(QByteArray::fromStdString(engines)));
    EXPECT_EQ(pf.read("data/sub/new.txt"), "plain") << "files not listed stay as unpacked";
    EXPECT_EQ(pf.read("data/sub/keep.txt"), "kept") << "existing folders are merged into";
    EXPECT_EQ(pf.read("data/fresh/f.txt"), "f");
    EXPECT_EQ(pf.read("data/un.pac"), "<missing>");
    EXPECT_EQ(pf.read("data/kestrel.hlz"), "<missing>");
    QStringList top =
        QDir(pf.path("data")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    EXPECT_EQ(top, QStringList({"data.hlz", "engines.hlz", "fresh", "sub"})) << "no staging left";
    EXPECT_FALSE(updater.windowVisible());
    EXPECT_TRUE(updater.updateEnabled());
    EXPECT_FALSE(updater.cancelEnabled());

    // Answering No installs just the same and loads nothing.
    dialogs.clear();
    dialogs.answers = {false};
    EXPECT_EQ(updater.UpdateButtonClick(), Updater::Outcome::Complete);
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(pf.read("data/data.hlz"), encipherEngineText(QByteArray::fromStdString(data)));
}

TEST_F(UpdaterTest, NoReplyOrAnErrorStatusLeavesTheDataFolderUntouched) {
    const auto before = pf.snapshot();
    EXPECT_EQ(runAgainst(pf.archives.filePath("absent.hlz")), Updater::Outcome::NoUpdate);
    EXPECT_EQ(statuses, QStringList({"Status: Loading", "Status: Failed : 404 Not Found"}));
    expectMessages({{ScriptedDialogs::Kind::Inform, kNoUpdate, "No Update"}});
    EXPECT_EQ(dialogs.shown[0].icon, Dialogs::Icon::Exclamation);
    EXPECT_EQ(pf.snapshot(), before);

    // Nobody listening at all.
    statuses.clear();
    dialogs.clear();
    sim.reset();
    EXPECT_EQ(updater.UpdateButtonClick(), Updater::Outcome::NoUpdate);
    ASSERT_EQ(statuses.size(), 2);
    EXPECT_TRUE(statuses[1].startsWith("Status: Failed : 404 ")) << statuses[1].toStdString();
    EXPECT_EQ(dialogs.texts(), QStringList({kNoUpdate}));
    EXPECT_EQ(pf.snapshot(), before);
}

TEST_F(UpdaterTest, ArchivesFailingTheTestOrTheUnpackingInstallNothing) {
    const auto before = pf.snapshot();
    RarEntry bad = rarFile("data.hlz", "tampered");
    bad.wrongCrc = true;
    const RarEntry link = rarFile("sub\\escape", "../../../zkt.ini", RarEntry::Kind::Symlink);
    const std::vector<std::vector<RarEntry>> broken = {
        // fails the test
        {rarFile("engines.hlz", "new"), bad, rarFile("un.pac", "engines.hlz\r\n")},
        // passes the test (nothing is written while testing) but cannot be unpacked
        {rarFile("engines.hlz", "new"), rarFile("..\\zkt.ini", "owned"), rarFile("un.pac", "")},
        {rarFile("engines.hlz", "new"), link, rarFile("un.pac", "engines.hlz")},
    };
    for (const auto& entries : broken) {
        dialogs.clear();
        EXPECT_EQ(runAgainst(pf.archive(entries)), Updater::Outcome::Corrupted);
        expectMessages({{ScriptedDialogs::Kind::Inform, "Archive is corrupted", QString()}});
        EXPECT_EQ(pf.snapshot(), before);
    }

    // Cut short by the server: a 200 with part of the archive.
    std::string whole = rarwriter::rarArchive(
        {rarFile("engines.hlz", std::string(5000, 'e')), rarFile("un.pac", "engines.hlz")});
    lb::test::RawServer raw;
    raw.addAnswer(QByteArray("HTTP/1.0 200 OK\r\nContent-Length: ") +
                  QByteArray::number(qint64(whole.size())) + "\r\n\r\n" +
                  QByteArray::fromStdString(whole.substr(0, 3000)));
    updater.host = QStringLiteral("127.0.0.1:%1").arg(raw.port());
    dialogs.clear();
    statuses.clear();
    // A failed download: not even tested as an archive.
    EXPECT_EQ(updater.UpdateButtonClick(), Updater::Outcome::NoUpdate);
    EXPECT_EQ(statuses, QStringList({"Status: Loading", "Status: Failed : 200 OK"}));
    EXPECT_EQ(dialogs.texts(), QStringList({kNoUpdate}));
    EXPECT_EQ(pf.snapshot(), before);
}

TEST_F(UpdaterTest, BadListLinesOrClashesFailWithAFileErrorAndInstallNothing) {
    const auto before = pf.snapshot();
    const QString data = appPath(pf.dir.path(), "\\data\\");
    const QList<QPair<std::string, QString>> lines = {
        {"data.hlz\r\nmissing.hlz\r\n", "missing.hlz"},
        {"../zkt.ini", "../zkt.ini"},
        {"sub\\new.txt", "sub\\new.txt"},
        {"sub/new.txt", "sub/new.txt"},
        {"..", ".."},
        {"sub", "sub"},
    };
    for (const auto& [list, named] : lines) {
        dialogs.clear();
        EXPECT_EQ(runAgainst(pf.archive({rarFile("data.hlz", "new"), rarFile("sub\\new.txt", "n"),
                                         rarFile("un.pac", list)})),
                  Updater::Outcome::FileFailed);
        expectMessages(
            {{ScriptedDialogs::Kind::Error, "Cannot open file " + data + named, QString()}});
        EXPECT_EQ(pf.snapshot(), before) << list;
    }

    dialogs.clear();
    EXPECT_EQ(runAgainst(pf.archive({rarFile("data.hlz", "new")})), Updater::Outcome::FileFailed);
    EXPECT_EQ(dialogs.texts(), QStringList({"Cannot open file " + data + "un.pac"}));
    EXPECT_EQ(pf.snapshot(), before);

    // A file where a folder is (and the other way round) is found before anything moves.
    for (const auto& entries : std::vector<std::vector<RarEntry>>{
             {rarFile("data.hlz", "new"), rarFile("sub", "a file"), rarFile("un.pac", "")},
             {rarFile("data.hlz", "new"), rarFile("engines.hlz\\x", "x"), rarFile("un.pac", "")}}) {
        dialogs.clear();
        EXPECT_EQ(runAgainst(pf.archive(entries)), Updater::Outcome::FileFailed);
        ASSERT_EQ(dialogs.texts().size(), 1);
        EXPECT_TRUE(dialogs.texts()[0].startsWith("Unable to write to " + data));
        EXPECT_EQ(pf.snapshot(), before);
    }
}

TEST_F(UpdaterTest, WithAKeyFileOnlyArchivesSignedByOneOfItsKeysAreInstalled) {
    const std::string newData = "New=|a|\r\n";
    const QString archive =
        pf.archive({rarFile("data.hlz", newData), rarFile("un.pac", "data.hlz")});
    const QByteArray bytes = lb::test::readFile(archive);
    const lb::test::SigningKey ours, theirs;
    const QByteArray good = ours.sign(bytes);
    lb::test::TargetSim server({"--update-archive", archive});
    ASSERT_TRUE(server.ok());
    struct Case {
        const char* what;
        std::optional<QByteArray> keyFile, signature;
        bool installs;
    };
    const Case cases[] = {
        {"no key file: unsigned as before", std::nullopt, std::nullopt, true},
        {"signed by the key", ours.publicLine() + "\n", good, true},
        {"two keys, CR LF, comments and blank lines",
         "# publisher keys\r\n\r\n" + theirs.publicLine() + "\r\n" + ours.publicLine(), good, true},
        {"signed by another key", ours.publicLine() + "\n", theirs.sign(bytes), false},
        {"signature of other bytes", ours.publicLine(), ours.sign(bytes + "x"), false},
        {"no signature", ours.publicLine(), std::nullopt, false},
        {"signature with a line end", ours.publicLine(), good + "\n", false},
        {"key file without a key", "# none yet\n", good, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(archive + ".sig");
        if (c.signature)
            lb::test::writeFile(archive + ".sig", *c.signature);
        lb::test::UpdateFolder folder;
        if (c.keyFile)
            folder.write("data/update.pub", *c.keyFile);
        const Run r = updateFolder(folder, server.port());
        if (c.installs) {
            EXPECT_EQ(r.outcome, Updater::Outcome::Complete);
            EXPECT_EQ(folder.read("data/data.hlz"),
                      encipherEngineText(QByteArray::fromStdString(newData)));
            continue;
        }
        EXPECT_EQ(r.outcome, Updater::Outcome::Untrusted);
        EXPECT_EQ(r.statuses,
                  QStringList({"Status: Loading",
                               QStringLiteral("Status: Received %1 bytes").arg(bytes.size())}));
        EXPECT_EQ(r.texts, QStringList({"The update is not signed by a trusted key; nothing was "
                                        "installed."}));
    }
}

// MaxBytes pinned on both sides of the archive's size.
TEST_F(UpdaterTest, DownloadsStopAtMaxBytesAndAfterTimeoutSecondsOfSilence) {
    const QString archive =
        pf.archive({rarFile("data.hlz", std::string(6000, 'd')), rarFile("un.pac", "data.hlz")});
    const qint64 size = QFileInfo(archive).size();
    lb::test::RawServer noLength; // the body runs until the connection closes
    lb::test::TargetSim server({"--update-archive", archive});
    lb::test::TargetSim stalling({"--update-archive", archive, "--update-stall", "100"});
    ASSERT_TRUE(server.ok() && stalling.ok());
    const QString tooLarge = "Status: Failed : 0 Update too large";
    const struct {
        QByteArray settings;
        quint16 port;
        QString status; // empty: installs
    } cases[] = {
        {"MaxBytes=" + QByteArray::number(size - 1), server.port(), tooLarge},
        {"MaxBytes=" + QByteArray::number(size - 1), noLength.port(), tooLarge},
        {"MaxBytes=" + QByteArray::number(size), server.port(), {}},
        {"MaxBytes=" + QByteArray::number(size), noLength.port(), {}},
        {"Timeout=1", stalling.port(), "Status: Failed : 408 Request_Timeout"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings.toStdString() + " " + std::to_string(c.port));
        lb::test::UpdateFolder folder;
        folder.write("zkt.ini", "[Update]\r\n" + c.settings + "\r\n");
        if (c.port == noLength.port()) // one answer per connection
            noLength.addAnswer("HTTP/1.0 200 OK\r\n\r\n" + lb::test::readFile(archive));
        const Run r = updateFolder(folder, c.port);
        if (c.status.isEmpty()) {
            EXPECT_EQ(r.outcome, Updater::Outcome::Complete);
            continue;
        }
        EXPECT_EQ(r.outcome, Updater::Outcome::NoUpdate);
        EXPECT_EQ(r.statuses, QStringList({"Status: Loading", c.status}));
        EXPECT_EQ(r.texts, QStringList({kNoUpdate}));
    }
}

TEST_F(UpdaterTest, WhileAnotherProgramUpdatesNeitherUpdateNorRecoveryTouchesTheDataFolder) {
    pf.write("data/kestrel.hlz", "another program's download");
    const auto before = pf.snapshot();
    {
        const DataFolderLock other(pf.path("data"));
        ASSERT_TRUE(other.held());
        EXPECT_EQ(Updater::recoverInstall(pf.dir.path()), InstallJournal::Recovery::Nothing);
        EXPECT_EQ(updater.UpdateButtonClick(), Updater::Outcome::Busy);
        EXPECT_EQ(dialogs.texts(), QStringList({"Another update is running in " +
                                                appPath(pf.dir.path(), "\\data\\")}));
        EXPECT_TRUE(statuses.isEmpty());
        EXPECT_EQ(pf.snapshot(), before);
    }
    EXPECT_EQ(Updater::recoverInstall(pf.dir.path()), InstallJournal::Recovery::RolledBack);
    EXPECT_EQ(pf.read("data/kestrel.hlz"), "<missing>");
}

TEST(UpdateSettings, HostAndLimitsComeFromOurOwnSectionOfTheSettingsFile) {
    lb::test::UpdateFolder pf;
    EXPECT_EQ(Updater::configuredHost(pf.dir.path()), "127.0.0.1:8642");
    pf.write("zkt.ini", "[Proxy]\r\nKeyProxy=0\r\n[update]\r\nhost=updates.example:8080\r\n");
    EXPECT_EQ(Updater::configuredHost(pf.dir.path()), "updates.example:8080");

    // The limits: unusable values keep the defaults.
    const QList<std::tuple<QByteArray, qint64, int>> limits = {
        {"", 268435456, 60},
        {"MaxBytes=1000\r\nTimeout=5", 1000, 5},
        {"maxbytes= 2000 \r\ntimeout=0", 2000, 60},
        {"MaxBytes=lots\r\nTimeout=-3", 268435456, 60},
        {"MaxBytes=-1\r\nTimeout=99999999", 268435456, 60},
    };
    for (const auto& [keys, maxBytes, timeout] : limits) {
        pf.write("zkt.ini", "[Update]\r\n" + keys + "\r\n");
        const Updater::Limits l = Updater::configuredLimits(pf.dir.path());
        EXPECT_EQ(l.maxBytes, maxBytes) << keys.constData();
        EXPECT_EQ(l.timeoutSeconds, timeout) << keys.constData();
    }
}

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
    // Serves an archive of new FFA and search lists and points zkt.ini at it.
    void serveNewLists() {
        const QString archive = archives.filePath("en-kestrel.hlz");
        ASSERT_TRUE(rarwriter::writeRarArchive(archive.toStdString(),
                                              {rarFile("data.hlz", ffa.toStdString()),
                                               rarFile("engines.hlz", search.toStdString()),
                                               rarFile("un.pac", "data.hlz\r\nengines.hlz\r\n")}));
        sim = std::make_unique<lb::test::TargetSim>(QStringList{"--update-archive", archive});
        ASSERT_TRUE(sim->ok());
        useHost(sim->port());
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
    const QByteArray ffa = joinLinesCrLf(lb::test::engineLines({"NewFFA1", "NewFFA2"}));
    const QByteArray search = joinLinesCrLf(lb::test::engineLines({"NewSearch"}));
    QTemporaryDir archives;
    std::unique_ptr<lb::test::TargetSim> sim;
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
    EXPECT_FALSE(cancel->isEnabled());

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
    serveNewLists();
    EXPECT_EQ(keyList(), QStringList({"OldFFA"}));

    // The status lines and messages are the updater's; the window adds the
    // progress of each file and the reloaded lists.
    auto* bar = find<QProgressBar>(box.get(), "UpdateBar1");
    auto* info = find<QLabel>(box.get(), "InfoLabel");
    QList<QPair<int, int>> progress; // maximum, value while the bar shows
    QObject::connect(&w->updater(), &Updater::changed, [&] {
        if (bar->isVisible() && bar->value() > 0)
            progress.append({bar->maximum(), bar->value()});
    });
    dialogs.answers = {true};
    find<QPushButton>(w.get(), "UpdateButton")->click();

    EXPECT_EQ(info->text(), "Status: Extracting");
    EXPECT_TRUE(progress.contains({int(ffa.size()), int(ffa.size())}));
    EXPECT_TRUE(progress.contains({int(search.size()), int(search.size())}));
    EXPECT_EQ(dialogs.texts().size(), 1);
    EXPECT_TRUE(find<QRadioButton>(w.get(), "RadioButton1")->isChecked());
    const QStringList names = keyList();
    for (const char* n : {"NewFFA1", "NewFFA2", "NewSearch"})
        EXPECT_TRUE(names.contains(n)) << n;
    EXPECT_EQ(pf.readEngines("data/data.hlz"), lb::test::engineLines({"NewFFA1", "NewFFA2"}));
    EXPECT_FALSE(box->isVisible());
    EXPECT_FALSE(bar->isVisible());
}

TEST_F(UpdateBoxTest, AnInstallTheProgramDiedInIsRolledBackBeforeTheEngineListsLoad) {
    w.reset(); // opened again below, on the interrupted install
    serveNewLists();
    const QByteArray oldData = pf.readBytes("data/data.hlz");

    // Killed at the first point where the new FFA list is already in place.
    bool newInPlace = false;
    for (int k = 1; k < 10 && !newInPlace; ++k) {
        int exitCode = -1;
        ASSERT_EQ(lb::test::updateKilledAt(pf.dir.path(), k, &exitCode), lb::test::Ended::Killed);
        newInPlace = pf.readBytes("data/data.hlz") != oldData;
        if (!newInPlace)
            ASSERT_EQ(lb::test::runCli(pf.dir.path(), {"update", "--recover"}).exitCode, 0);
    }
    ASSERT_TRUE(newInPlace);

    open();
    EXPECT_EQ(keyList(), QStringList({"OldFFA"}));
    EXPECT_EQ(pf.readBytes("data/data.hlz"), oldData);
    EXPECT_FALSE(pf.exists("data/kestrel.hlz"));
    EXPECT_TRUE(dialogs.texts().isEmpty());
    const QByteArray recovered = lb::test::runCli(pf.dir.path(), {"update", "--recover"}).out;
    EXPECT_EQ(recovered, "update: nothing to recover\n");
}
