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
using lb::test::rarFile;
using lb::test::ScriptedDialogs;
using rarwriter::RarEntry;

namespace {

const char kNoUpdate[] = "No Update Available at this time... Please try again later.";
const char kComplete[] = "Update Complete.\n Do you wish to Load the updated database  ?";

class UpdaterTest : public ::testing::Test {
protected:
    // Updates pf from 127.0.0.1:port as the update button does; a failed
    // update leaves the program folder as it was.
    Updater::Outcome update(quint16 port) {
        const auto before = pf.snapshot();
        dialogs.clear();
        statuses.clear();
        Updater u{pf.dir.path(), http, rar, dialogs};
        u.loadDatabase = [this] { ++loads; };
        QObject::connect(&u, &Updater::statusShown, [this](const QString& s) { statuses << s; });
        u.host = QStringLiteral("127.0.0.1:%1").arg(port);
        const Updater::Outcome outcome = u.UpdateButtonClick();
        if (outcome != Updater::Outcome::Complete)
            EXPECT_EQ(pf.snapshot(), before);
        return outcome;
    }
    quint16 serve(const QString& archive) {
        sim = std::make_unique<lb::test::TargetSim>(QStringList{"--update-archive", archive});
        EXPECT_TRUE(sim->ok());
        return sim->port();
    }
    // The one message shown: its kind, text and caption.
    void expectMessage(ScriptedDialogs::Kind kind, const QString& text, const QString& caption) {
        ASSERT_EQ(dialogs.shown.size(), 1) << dialogs.texts().join('|').toStdString();
        EXPECT_EQ(dialogs.shown[0].kind, kind);
        EXPECT_EQ(dialogs.shown[0].text, text);
        EXPECT_EQ(dialogs.shown[0].caption, caption);
    }
    QString received(const QString& archive) const {
        return QStringLiteral("Status: Received %1 bytes").arg(QFileInfo(archive).size());
    }

    lb::test::UpdateFolder pf;
    ScriptedDialogs dialogs;
    net::THttpCli http;
    TRAR rar;
    std::unique_ptr<lb::test::TargetSim> sim;
    QStringList statuses;
    int loads = 0;
};

} // namespace

TEST_F(UpdaterTest, InstallsEnciphersListedFilesMergesFoldersAndOffersToLoad) {
    const std::string data = "Alpha=|x|\r\nBeta=|y|\r\n";
    const QString archive =
        pf.archive({rarFile("data.hlz", data), rarFile("engines.hlz", "Search=|s|\r\n"),
                    rarFile("sub\\new.txt", "plain"), rarFile("fresh\\f.txt", "f"),
                    rarFile("un.pac", "data.hlz\r\nengines.hlz\n")});
    dialogs.answers = {true};
    EXPECT_EQ(update(serve(archive)), Updater::Outcome::Complete);
    EXPECT_EQ(statuses, QStringList({"Status: Loading", received(archive), "Status: Extracting"}));
    expectMessage(ScriptedDialogs::Kind::Ask, kComplete, "Update Complete");
    EXPECT_EQ(loads, 1);

    EXPECT_EQ(pf.read("data/data.hlz"), encipherEngineText(QByteArray::fromStdString(data)));
    EXPECT_EQ(pf.read("data/engines.hlz"), encipherEngineText("Search=|s|\r\n"));
    EXPECT_EQ(pf.read("data/sub/new.txt"), "plain") << "files not listed stay as unpacked";
    EXPECT_EQ(pf.read("data/sub/keep.txt"), "kept") << "existing folders are merged into";
    QStringList top =
        QDir(pf.path("data")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    EXPECT_EQ(top, QStringList({"data.hlz", "engines.hlz", "fresh", "sub"}))
        << "no list, download or staging left";

    // Answering No installs just the same and loads nothing.
    EXPECT_EQ(update(sim->port()), Updater::Outcome::Complete);
    EXPECT_EQ(loads, 1);
}

// Each a "No Update" with the failure's status line: an error status, nobody
// listening, a 200 cut short (not even tested as an archive), MaxBytes one byte
// under the archive's size with and without a length, and silence longer than
// Timeout. MaxBytes at the archive's size installs.
TEST_F(UpdaterTest, FailedDownloadsEndInNoUpdateAndInstallNothing) {
    const QString archive =
        pf.archive({rarFile("data.hlz", std::string(6000, 'd')), rarFile("un.pac", "data.hlz")});
    const QByteArray bytes = lb::test::readFile(archive);
    const QByteArray size = QByteArray::number(bytes.size());
    const QByteArray less = QByteArray::number(bytes.size() - 1);
    lb::test::RawServer raw; // one answer per connection
    lb::test::TargetSim server({"--update-archive", archive});
    lb::test::TargetSim absent({"--update-archive", pf.archives.filePath("absent.hlz")});
    lb::test::TargetSim stalling({"--update-archive", archive, "--update-stall", "100"});
    ASSERT_TRUE(server.ok() && absent.ok() && stalling.ok());
    const quint16 closed = lb::test::RawServer().port(); // nobody listens there any more
    const QByteArray noLength = "HTTP/1.0 200 OK\r\n\r\n" + bytes;
    const QByteArray cutShort =
        "HTTP/1.0 200 OK\r\nContent-Length: " + size + "\r\n\r\n" + bytes.left(3000);
    const QString tooLarge = "Status: Failed : 0 Update too large";
    const struct {
        QByteArray settings, answer; // answer: what raw sends
        quint16 port;
        QString status; // empty: installs; ending in a space: any phrase follows
    } cases[] = {
        {"", {}, absent.port(), "Status: Failed : 404 Not Found"},
        {"", {}, closed, "Status: Failed : 404 "},
        {"", cutShort, raw.port(), "Status: Failed : 200 OK"},
        {"MaxBytes=" + less, {}, server.port(), tooLarge},
        {"MaxBytes=" + less, noLength, raw.port(), tooLarge},
        {"MaxBytes=" + size, {}, server.port(), {}},
        {"MaxBytes=" + size, noLength, raw.port(), {}},
        {"Timeout=1", {}, stalling.port(), "Status: Failed : 408 Request_Timeout"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings.toStdString() + " " + c.status.toStdString());
        pf.write("zkt.ini", "[Update]\r\n" + c.settings + "\r\n");
        if (!c.answer.isEmpty())
            raw.addAnswer(c.answer);
        const Updater::Outcome outcome = update(c.port);
        if (c.status.isEmpty()) {
            EXPECT_EQ(outcome, Updater::Outcome::Complete);
            continue;
        }
        EXPECT_EQ(outcome, Updater::Outcome::NoUpdate);
        ASSERT_EQ(statuses.size(), 2);
        EXPECT_EQ(statuses[0], "Status: Loading");
        if (c.status.endsWith(' '))
            EXPECT_TRUE(statuses[1].startsWith(c.status)) << statuses[1].toStdString();
        else
            EXPECT_EQ(statuses[1], c.status);
        expectMessage(ScriptedDialogs::Kind::Inform, kNoUpdate, "No Update");
        EXPECT_EQ(dialogs.shown.value(0).icon, Dialogs::Icon::Exclamation);
    }
}

// Which entries the archive code refuses is its own test's; here that any
// refusal, while testing or while unpacking, installs nothing.
TEST_F(UpdaterTest, ArchivesFailingTheTestOrTheUnpackingInstallNothing) {
    RarEntry bad = rarFile("data.hlz", "tampered");
    bad.wrongCrc = true;
    const std::vector<std::vector<RarEntry>> broken = {
        {rarFile("engines.hlz", "new"), bad, rarFile("un.pac", "engines.hlz\r\n")},
        // passes the test (nothing is written while testing) but cannot be unpacked
        {rarFile("engines.hlz", "new"), rarFile("..\\zkt.ini", "owned"), rarFile("un.pac", "")},
    };
    for (const auto& entries : broken) {
        EXPECT_EQ(update(serve(pf.archive(entries))), Updater::Outcome::Corrupted);
        expectMessage(ScriptedDialogs::Kind::Inform, "Archive is corrupted", QString());
    }
}

TEST_F(UpdaterTest, BadListLinesOrClashesFailWithAFileErrorAndInstallNothing) {
    const QString data = appPath(pf.dir.path(), "\\data\\");
    const RarEntry sub = rarFile("sub\\new.txt", "n");
    // The list's line, the name in the message ("" for "Unable to write to"):
    // missing or unsafe list lines, no list at all, a file where a folder is
    // and the other way round (found before anything moves).
    const struct {
        std::vector<RarEntry> extra;
        QString named;
    } cases[] = {
        {{sub, rarFile("un.pac", "data.hlz\r\nmissing.hlz\r\n")}, "missing.hlz"},
        {{sub, rarFile("un.pac", "../zkt.ini")}, "../zkt.ini"},
        {{sub, rarFile("un.pac", "sub\\new.txt")}, "sub\\new.txt"},
        {{sub, rarFile("un.pac", "sub/new.txt")}, "sub/new.txt"},
        {{sub, rarFile("un.pac", "..")}, ".."},
        {{sub, rarFile("un.pac", "sub")}, "sub"},
        {{sub}, "un.pac"},
        {{rarFile("sub", "a file"), rarFile("un.pac", "")}, ""},
        {{rarFile("engines.hlz\\x", "x"), rarFile("un.pac", "")}, ""},
    };
    for (const auto& [extra, named] : cases) {
        SCOPED_TRACE(named.toStdString());
        std::vector<RarEntry> entries = {rarFile("data.hlz", "new")};
        entries.insert(entries.end(), extra.begin(), extra.end());
        EXPECT_EQ(update(serve(pf.archive(entries))), Updater::Outcome::FileFailed);
        if (named.isEmpty())
            EXPECT_TRUE(dialogs.texts().value(0).startsWith("Unable to write to " + data));
        else
            expectMessage(ScriptedDialogs::Kind::Error, "Cannot open file " + data + named, {});
    }
}

TEST_F(UpdaterTest, WithAKeyFileOnlyArchivesSignedByOneOfItsKeysAreInstalled) {
    const QString archive =
        pf.archive({rarFile("data.hlz", "New=|a|"), rarFile("un.pac", "data.hlz")});
    const QByteArray bytes = lb::test::readFile(archive);
    const lb::test::SigningKey ours, theirs;
    const QByteArray good = ours.sign(bytes);
    const quint16 port = serve(archive);
    const struct {
        const char* what;
        std::optional<QByteArray> keyFile, signature;
        bool installs;
    } cases[] = {
        {"no key file: unsigned as before", std::nullopt, std::nullopt, true},
        {"two keys, CR LF, comments and blank lines",
         "# publisher keys\r\n\r\n" + theirs.publicLine() + "\r\n" + ours.publicLine(), good, true},
        {"signed by another key", ours.publicLine() + "\n", theirs.sign(bytes), false},
        {"signature of other bytes", ours.publicLine(), ours.sign(bytes + "x"), false},
        {"no signature", ours.publicLine(), std::nullopt, false},
        {"signature with a line end", ours.publicLine(), good + "\n", false},
        {"key file without a key", "# none yet\n", good, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(archive + ".sig");
        if (c.signature)
            lb::test::writeFile(archive + ".sig", *c.signature);
        QFile::remove(pf.path("data/update.pub"));
        if (c.keyFile)
            pf.write("data/update.pub", *c.keyFile);
        pf.write("data/data.hlz", "old data");
        const Updater::Outcome outcome = update(port);
        if (c.installs) {
            EXPECT_EQ(outcome, Updater::Outcome::Complete);
            EXPECT_EQ(pf.read("data/data.hlz"), encipherEngineText("New=|a|"));
            continue;
        }
        EXPECT_EQ(outcome, Updater::Outcome::Untrusted);
        EXPECT_EQ(statuses, QStringList({"Status: Loading", received(archive)}));
        EXPECT_EQ(dialogs.texts(), QStringList({"The update is not signed by a trusted key; "
                                                "nothing was installed."}));
    }
}

TEST_F(UpdaterTest, WhileAnotherProgramUpdatesNeitherUpdateNorRecoveryTouchesTheDataFolder) {
    pf.write("data/kestrel.hlz", "another program's download");
    {
        const DataFolderLock other(pf.path("data"));
        ASSERT_TRUE(other.held());
        EXPECT_EQ(Updater::recoverInstall(pf.dir.path()), InstallJournal::Recovery::Nothing);
        EXPECT_EQ(update(1), Updater::Outcome::Busy);
        EXPECT_EQ(dialogs.texts(), QStringList({"Another update is running in " +
                                                appPath(pf.dir.path(), "\\data\\")}));
        EXPECT_TRUE(statuses.isEmpty());
    }
    EXPECT_EQ(Updater::recoverInstall(pf.dir.path()), InstallJournal::Recovery::RolledBack);
    EXPECT_EQ(pf.read("data/kestrel.hlz"), "<missing>");
}

TEST(UpdateSettings, DefaultHostAndLimitsFromOurOwnSectionOfTheSettingsFile) {
    lb::test::UpdateFolder pf;
    EXPECT_EQ(Updater::configuredHost(pf.dir.path()), "127.0.0.1:8642");

    // The limits: unusable values keep the defaults.
    const QList<std::tuple<QByteArray, qint64, int>> limits = {
        {"", 268435456, 60},
        {"maxbytes= 2000 \r\ntimeout=5", 2000, 5},
        {"MaxBytes=lots\r\nTimeout=0", 268435456, 60},
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
    template <class T> T* inBox(const char* name) { return lb::test::named<T>(box.get(), name); }
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
    auto* update = child<QPushButton>("UpdateButton");
    auto* info = inBox<QLabel>("InfoLabel");
    auto* cancel = inBox<QPushButton>("UpdateAbort");
    ASSERT_TRUE(update && info && cancel);
    EXPECT_FALSE(cancel->isEnabled());

    // While the download hangs: look at the window, then press Cancel.
    bool sawLoading = false;
    QTimer poll;
    poll.setInterval(20);
    int ticks = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        sawLoading = box->isVisible() && info->text() == "Status: Loading" && cancel->isEnabled() &&
                     !update->isEnabled() && server.connections() == 1;
        if (sawLoading || ++ticks > 500) { // bounded: give up after ten seconds
            poll.stop();
            cancel->click();
        }
    });
    poll.start();
    update->click();
    poll.stop();

    EXPECT_TRUE(sawLoading);
    EXPECT_TRUE(info->text().startsWith("Status: Failed : ")) << info->text().toStdString();
    EXPECT_EQ(dialogs.texts(), QStringList({kNoUpdate}));
    EXPECT_FALSE(box->isVisible());
    EXPECT_TRUE(update->isEnabled());
    EXPECT_FALSE(cancel->isEnabled());
    EXPECT_FALSE(pf.exists("data/kestrel.hlz"));
    EXPECT_EQ(pf.readBytes("data/data.hlz"), dataBefore);
}

TEST_F(UpdateBoxTest, YesLoadsTheNewDatabaseIntoTheEngineLists) {
    serveNewLists();
    EXPECT_EQ(names("KeyList"), QStringList({"OldFFA"}));

    // The status lines and messages are the updater's; the window adds the
    // progress of each file and the reloaded lists.
    auto* bar = inBox<QProgressBar>("UpdateBar1");
    QList<QPair<int, int>> progress; // maximum, value while the bar shows
    QObject::connect(&w->updater(), &Updater::changed, [&] {
        if (bar->isVisible() && bar->value() > 0)
            progress.append({bar->maximum(), bar->value()});
    });
    dialogs.answers = {true};
    child<QPushButton>("UpdateButton")->click();

    EXPECT_EQ(inBox<QLabel>("InfoLabel")->text(), "Status: Extracting");
    EXPECT_TRUE(progress.contains({int(ffa.size()), int(ffa.size())}));
    EXPECT_TRUE(progress.contains({int(search.size()), int(search.size())}));
    EXPECT_EQ(dialogs.texts().size(), 1);
    EXPECT_TRUE(child<QRadioButton>("RadioButton1")->isChecked());
    const QStringList names = this->names("KeyList");
    for (const char* n : {"NewFFA1", "NewFFA2", "NewSearch"})
        EXPECT_TRUE(names.contains(n)) << n;
    EXPECT_FALSE(box->isVisible());
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
    EXPECT_EQ(names("KeyList"), QStringList({"OldFFA"}));
    EXPECT_EQ(pf.readBytes("data/data.hlz"), oldData);
    EXPECT_TRUE(dialogs.texts().isEmpty());
    const QByteArray recovered = lb::test::runCli(pf.dir.path(), {"update", "--recover"}).out;
    EXPECT_EQ(recovered, "update: nothing to recover\n");
}
