#include "update/UpdateFixture.h"

#include "common/Paths.h"
#include "engines/EngineCipher.h"
#include "net/HttpProt.h"
#include "support/RawServer.h"
#include "support/ScriptedDialogs.h"
#include "support/TargetSim.h"
#include "update/TRAR.h"
#include "update/Updater.h"

#include <gtest/gtest.h>
#include <QProcess>
#include <QTimer>

using namespace lb;
using lb::test::RarEntry;
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
        sim = std::make_unique<lb::test::TargetSim>(
            QStringList{QStringLiteral("--update-archive"), archivePath});
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
    std::string whole = lb::test::rarArchive(
        {rarFile("engines.hlz", std::string(5000, 'e')), rarFile("un.pac", "engines.hlz")});
    lb::test::RawServer raw;
    raw.addAnswer(QByteArray("HTTP/1.0 200 OK\r\nContent-Length: ") +
                  QByteArray::number(qint64(whole.size())) + "\r\n\r\n" +
                  QByteArray::fromStdString(whole.substr(0, 3000)));
    updater.host = QStringLiteral("127.0.0.1:%1").arg(raw.port());
    dialogs.clear();
    EXPECT_EQ(updater.UpdateButtonClick(), Updater::Outcome::Corrupted);
    EXPECT_EQ(dialogs.texts(), QStringList({"Archive is corrupted"}));
    EXPECT_EQ(pf.snapshot(), before);
}

TEST_F(UpdaterTest, BadListLinesOrClashesFailWithAFileErrorAndInstallNothing) {
    const auto before = pf.snapshot();
    const QString data = appPath(pf.dir.path(), QStringLiteral("\\data\\"));
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

TEST(UpdateHost, ComesFromOurOwnSectionOfTheSettingsFile) {
    lb::test::UpdateFolder pf;
    EXPECT_EQ(Updater::configuredHost(pf.dir.path()), "127.0.0.1:8642");
    pf.write("zkt.ini", "[Proxy]\r\nKeyProxy=0\r\n[update]\r\nhost=updates.example:8080\r\n");
    EXPECT_EQ(Updater::configuredHost(pf.dir.path()), "updates.example:8080");
}
