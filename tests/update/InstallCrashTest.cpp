// `linkbeacon-cli update` killed (SIGKILL) at many points of an install of a
// few thousand files: after `update --recover` data/ holds exactly the old
// files or exactly the new ones, byte for byte.
#include "update/UpdateFixture.h"

#include "support/CliRun.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

using lb::test::Ended;
using lb::test::rarFile;
using lb::test::updateKilledAt;
using rarwriter::RarEntry;

namespace {

constexpr int kOldFiles = 800; // data/old/NNNN, of which the archive replaces kReplaced
constexpr int kReplaced = 500;
constexpr int kNewFiles = 1500; // in 15 folders the archive brings
const char kRolledBack[] = "update: rolled back an interrupted install";
const char kFinished[] = "update: finished an interrupted install";

QString number(int i) {
    return QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0'));
}

std::vector<RarEntry> bigArchive() {
    std::vector<RarEntry> entries = {rarFile("data.hlz", "New=|a|\r\n"),
                                     rarFile("engines.hlz", "Search=|s|\r\n")};
    for (int i = 0; i < kReplaced; ++i)
        entries.push_back(rarFile("old\\" + number(i).toStdString(), "new " + std::to_string(i)));
    for (int i = 0; i < kNewFiles; ++i)
        entries.push_back(
            rarFile(QStringLiteral("new\\d%1\\f%2").arg(i % 15).arg(number(i)).toStdString(),
                    std::string(std::size_t(i % 300), char('a' + i % 26))));
    entries.push_back(rarFile("un.pac", "data.hlz\r\nengines.hlz\r\n"));
    return entries;
}

// Where the program folders of the crash test live: a memory file system
// when there is one. The test kills processes, it cannot cut the power, and
// on a busy disk its hundred thousand file operations would take minutes.
QString crashFolderParent() {
    return QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm")
                                                              : QDir::tempPath();
}

// The program folder as it was before the update.
struct OldFolder : lb::test::UpdateFolder {
    explicit OldFolder(quint16 port) : UpdateFolder(crashFolderParent()) {
        QDir(path("data")).mkpath("old");
        for (int i = 0; i < kOldFiles; ++i)
            write("data/old/" + number(i), "old " + QByteArray::number(i));
        write("zkt.ini", QStringLiteral("[Update]\r\nHost=127.0.0.1:%1\r\n").arg(port).toUtf8());
    }
};

class InstallCrash : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        archives = new QTemporaryDir(crashFolderParent() + "/lb-archive-XXXXXX");
        const QString archive = archives->filePath("en-kestrel.hlz");
        ASSERT_TRUE(rarwriter::writeRarArchive(archive.toStdString(), bigArchive()));
        sim = new lb::test::TargetSim({"--update-archive", archive});
        ASSERT_TRUE(sim->ok());
        OldFolder before(sim->port());
        oldSet = new QMap<QString, QByteArray>(before.snapshot());
        const lb::test::CliResult r = lb::test::runCli(before.dir.path(), {"update"});
        ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
        newSet = new QMap<QString, QByteArray>(before.snapshot());
    }
    static void TearDownTestSuite() {
        delete sim;
        delete archives;
        delete oldSet;
        delete newSet;
    }

    // Kills the update at step k and recovers; the line recovery printed,
    // or the exit code of an update that ran to its end.
    QString crashAndRecover(int k) {
        OldFolder pf(sim->port());
        int exitCode = -1;
        const Ended ended = updateKilledAt(pf.dir.path(), k, &exitCode);
        EXPECT_NE(ended, Ended::Hung) << k;
        const lb::test::CliResult r = lb::test::runCli(pf.dir.path(), {"update", "--recover"});
        EXPECT_EQ(r.exitCode, 0) << k;
        const QString line = QString::fromUtf8(r.out).trimmed();
        const auto now = pf.snapshot();
        if (ended == Ended::Exited) {
            EXPECT_EQ(exitCode, 0) << k;
            EXPECT_EQ(line, "update: nothing to recover") << k;
            EXPECT_TRUE(now == *newSet) << "update ran to its end, step " << k;
            return QStringLiteral("exit %1").arg(exitCode);
        }
        if (line == kRolledBack)
            EXPECT_TRUE(now == *oldSet) << "rolled back at step " << k;
        else if (line == kFinished)
            EXPECT_TRUE(now == *newSet) << "finished at step " << k;
        else
            ADD_FAILURE() << "step " << k << ": " << line.toStdString();
        return line;
    }

    static inline QTemporaryDir* archives = nullptr;
    static inline lb::test::TargetSim* sim = nullptr;
    static inline QMap<QString, QByteArray>*oldSet = nullptr, *newSet = nullptr;
};

} // namespace

TEST_F(InstallCrash, EveryPointLeavesTheOldOrTheNewFilesAfterRecovery) {
    ASSERT_NE(*oldSet, *newSet);
    // The first steps, then every 300th up to past the end of the install.
    QList<int> points = {0, 1, 2, 3};
    for (int k = 300; k <= 6000; k += 300)
        points << k;
    QMap<int, QString> outcome;
    for (int k : points) {
        outcome[k] = crashAndRecover(k);
        if (outcome[k].startsWith("exit"))
            break;
    }
    ASSERT_TRUE(outcome.last().startsWith("exit")) << "the install ended within the points tried";
    EXPECT_EQ(outcome.first(), kRolledBack);
    EXPECT_GE(outcome.values().count(kRolledBack), 5);
    EXPECT_GE(outcome.values().count(kFinished), 2);

    // Around the moment the install becomes final: bisect to the first step
    // that finishes and try the steps on both sides of it.
    int rolled = 0, finished = outcome.lastKey();
    for (auto it = outcome.cbegin(); it != outcome.cend(); ++it)
        if (it.value() == kRolledBack)
            rolled = it.key();
        else if (it.value() == kFinished && it.key() > rolled)
            finished = std::min(finished, it.key());
    while (finished - rolled > 1) {
        const int mid = (rolled + finished) / 2;
        const QString line = crashAndRecover(mid);
        ASSERT_TRUE(line == kRolledBack || line == kFinished) << mid;
        (line == kRolledBack ? rolled : finished) = mid;
    }
    EXPECT_EQ(crashAndRecover(rolled), kRolledBack);
    EXPECT_EQ(crashAndRecover(finished), kFinished);
}

TEST_F(InstallCrash, ARecoveryThatCannotPutAFileBackSaysSoAndCanBeRepeated) {
    OldFolder pf(sim->port());
    int exitCode = -1;
    ASSERT_EQ(updateKilledAt(pf.dir.path(), 1200, &exitCode), Ended::Killed);
    // A file the install brought, already in place: a folder now stands there.
    QString moved;
    for (auto it = newSet->cbegin(); it != newSet->cend() && moved.isEmpty(); ++it)
        if (!oldSet->contains(it.key()) && it.value() != "<dir>" && pf.read(it.key()) == it.value())
            moved = it.key();
    ASSERT_FALSE(moved.isEmpty());
    ASSERT_TRUE(QFile::remove(pf.path(moved)));
    ASSERT_TRUE(QDir(pf.path(moved)).mkpath("inside"));

    lb::test::CliResult r = lb::test::runCli(pf.dir.path(), {"update", "--recover"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out,
              "update: cannot recover: Unable to write to " + pf.path(moved).toUtf8() + "\n");
    // An update refuses to start on top of it.
    r = lb::test::runCli(pf.dir.path(), {"update"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.startsWith("update: cannot recover: ")) << r.out.toStdString();

    ASSERT_TRUE(QDir(pf.path(moved)).removeRecursively());
    r = lb::test::runCli(pf.dir.path(), {"update", "--recover"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, QByteArray(kRolledBack) + "\n");
    EXPECT_TRUE(pf.snapshot() == *oldSet);
}
