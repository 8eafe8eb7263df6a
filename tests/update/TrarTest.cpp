#include "update/TRAR.h"
#include "update/UpdateFixture.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace lb;
using rarwriter::RarEntry;
using lb::test::rarFile;

namespace {

class TrarTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        target = tmp.filePath("target");
        rar.OnTesting = [this](TRAR*, const RARHeaderData& h) { log << "Testing " + name(h); };
        rar.OnTested = [this](TRAR*, const RARHeaderData& h, bool ok) {
            log << "Tested " + name(h) + (ok ? " OK" : " FAILED");
        };
        rar.OnExtracting = [this](TRAR*, const RARHeaderData& h) {
            log << QStringLiteral("Extracting %1 %2").arg(name(h)).arg(h.UnpSize);
        };
        rar.OnExtract = [this](TRAR*, const RARHeaderData& h, bool ok) {
            log << "Extracted " + name(h) + (ok ? " OK" : " FAILED");
        };
        rar.OnError = [this](TRAR*, int code) { log << QStringLiteral("Error %1").arg(code); };
        rar.OnComment = [this](TRAR*, const QString& text) { log << "Comment " + text; };
    }
    static QString name(const RARHeaderData& h) { return shownEntryName(h.FileName); }

    QString archive(const std::vector<RarEntry>& entries, bool endBlock = true) {
        const QString path = tmp.filePath(QStringLiteral("a%1.rar").arg(++count));
        EXPECT_TRUE(rarwriter::writeRarArchive(path.toStdString(), entries, endBlock));
        rar.ArchiveName = path;
        rar.TargetDir = target;
        return path;
    }
    QString rawArchive(const std::string& bytes) {
        const QString path = tmp.filePath(QStringLiteral("r%1.rar").arg(++count));
        lb::test::writeFile(path, QByteArray(bytes.data(), qsizetype(bytes.size())));
        rar.ArchiveName = path;
        rar.TargetDir = target;
        return path;
    }
    QByteArray read(const QString& rel) const {
        const QString path = target + QLatin1Char('/') + rel;
        return QFile::exists(path) ? lb::test::readFile(path) : QByteArray("<missing>");
    }
    // Every path under the temporary folder, except the archives themselves.
    QStringList allPaths() const {
        QStringList out;
        QDirIterator it(tmp.path(),
                        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = QDir(tmp.path()).relativeFilePath(it.next());
            if (!p.endsWith(QLatin1String(".rar")))
                out << p;
        }
        out.sort();
        return out;
    }

    QTemporaryDir tmp;
    QString target;
    TRAR rar;
    QStringList log;
    int count = 0;
};

} // namespace

TEST_F(TrarTest, TestsAndExtractsFoldersEmptyAndSeveralEntriesInOrder) {
    // The archive comment is reported before the entries, and not extracted.
    archive({rarFile("", "Engine database of December", RarEntry::Kind::Comment),
             rarFile("a.txt", "hello"), rarFile("sub", {}, RarEntry::Kind::Directory),
             rarFile("sub\\b.txt", "world"), rarFile("empty", ""),
             rarFile("deep\\er\\c.txt", "!")});
    EXPECT_TRUE(rar.LoadedDLL());
    EXPECT_TRUE(rar.Test());
    EXPECT_EQ(log,
              QStringList({"Comment Engine database of December", "Testing a.txt",
                           "Tested a.txt OK", "Testing sub", "Tested sub OK", "Testing sub/b.txt",
                           "Tested sub/b.txt OK", "Testing empty", "Tested empty OK",
                           "Testing deep/er/c.txt", "Tested deep/er/c.txt OK"}));
    EXPECT_FALSE(QFileInfo::exists(target)) << "testing writes nothing";

    log.clear();
    EXPECT_TRUE(rar.Extract());
    EXPECT_EQ(log, QStringList({"Comment Engine database of December", "Extracting a.txt 5",
                                "Extracted a.txt OK", "Extracting sub 0", "Extracted sub OK",
                                "Extracting sub/b.txt 5", "Extracted sub/b.txt OK",
                                "Extracting empty 0", "Extracted empty OK",
                                "Extracting deep/er/c.txt 1", "Extracted deep/er/c.txt OK"}));
    EXPECT_EQ(read("a.txt"), "hello");
    EXPECT_EQ(read("sub/b.txt"), "world");
    EXPECT_EQ(read("empty"), "");
    EXPECT_EQ(read("deep/er/c.txt"), "!");
    EXPECT_EQ(allPaths(), QStringList({"target", "target/a.txt", "target/deep", "target/deep/er",
                                       "target/deep/er/c.txt", "target/empty", "target/sub",
                                       "target/sub/b.txt"}))
        << "no temporary files left behind";
}

TEST_F(TrarTest, DataEventsCarryBlockSizeAndRunningTotalPerEntry) {
    std::string big(150000, 'x');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = char('a' + i % 26);
    archive({rarFile("big.bin", big), rarFile("small", "12345")});
    QList<QPair<int, qint64>> blocks;
    QByteArray seen;
    rar.OnProcessData = [&](TRAR*, const char* addr, int size, qint64 pos) {
        blocks.append({size, pos});
        seen.append(addr, size);
        return 1;
    };
    EXPECT_TRUE(rar.Extract());
    const QList<QPair<int, qint64>> expected = {
        {65536, 65536}, {65536, 131072}, {18928, 150000}, {5, 5}};
    EXPECT_EQ(blocks, expected);
    EXPECT_EQ(seen, QByteArray::fromStdString(big) + "12345");
    EXPECT_EQ(read("big.bin"), QByteArray::fromStdString(big));

    // Testing registers no data callback.
    blocks.clear();
    EXPECT_TRUE(rar.Test());
    EXPECT_TRUE(blocks.isEmpty());
}

TEST_F(TrarTest, ChosenNamesAreMatchedAsShownIgnoringCaseAndOthersSkippedSilently) {
    archive({rarFile("one.txt", "1"), rarFile("Sub\\Two.txt", "2"), rarFile("three.txt", "3")});
    rar.FilesToExtract = QStringList{"sub/two.TXT", "three.txt"};
    EXPECT_TRUE(rar.Extract());
    EXPECT_EQ(log, QStringList({"Extracting Sub/Two.txt 1", "Extracted Sub/Two.txt OK",
                                "Extracting three.txt 1", "Extracted three.txt OK"}));
    EXPECT_EQ(read("one.txt"), "<missing>");
    EXPECT_EQ(read("Sub/Two.txt"), "2");

    log.clear();
    rar.FilesToTest = QStringList{"Sub\\Two.txt"};
    EXPECT_TRUE(rar.Test());
    EXPECT_EQ(log, QStringList({"Testing Sub/Two.txt", "Tested Sub/Two.txt OK"}));
}

TEST_F(TrarTest, CrcMismatchFailsTheEntryKeepsOldFileAndGoesOn) {
    RarEntry bad = rarFile("bad.txt", "evil bytes");
    bad.wrongCrc = true;
    archive({rarFile("good1", "a"), bad, rarFile("good2", "b")});
    EXPECT_FALSE(rar.Test());
    EXPECT_EQ(log, QStringList({"Testing good1", "Tested good1 OK", "Testing bad.txt",
                                "Tested bad.txt FAILED", "Error 12", "Testing good2",
                                "Tested good2 OK"}));

    lb::test::writeFile(target + "/bad.txt", "previous");
    log.clear();
    EXPECT_FALSE(rar.Extract());
    EXPECT_EQ(log, QStringList({"Extracting good1 1", "Extracted good1 OK", "Extracting bad.txt 10",
                                "Extracted bad.txt FAILED", "Error 12", "Extracting good2 1",
                                "Extracted good2 OK"}));
    EXPECT_EQ(read("bad.txt"), "previous") << "data that fails its check replaces nothing";
    EXPECT_EQ(read("good2"), "b");
    EXPECT_EQ(allPaths(),
              QStringList({"target", "target/bad.txt", "target/good1", "target/good2"}));
}

TEST_F(TrarTest, ArchivesEndingInsideDataOrHeaderOrWithDamagedHeaderAreBadData) {
    // Ends inside the second entry's data.
    std::string bytes =
        rarwriter::rarArchive({rarFile("a", "0123"), rarFile("b", "0123456789")}, false);
    rawArchive(bytes.substr(0, bytes.size() - 4));
    EXPECT_FALSE(rar.Extract());
    EXPECT_EQ(log, QStringList({"Extracting a 4", "Extracted a OK", "Extracting b 10",
                                "Extracted b FAILED", "Error 12"}));
    EXPECT_EQ(read("b"), "<missing>");

    // Ends inside the second entry's header: the first is sound, then the walk
    // ends.
    log.clear();
    const std::string one = rarwriter::rarArchive({rarFile("a", "0123")}, false);
    rawArchive(bytes.substr(0, one.size() + 10));
    EXPECT_FALSE(rar.Test());
    EXPECT_EQ(log, QStringList({"Testing a", "Tested a OK", "Error 12"}));

    // A header whose check value is wrong ends the walk the same way.
    log.clear();
    RarEntry damaged = rarFile("b", "x");
    damaged.wrongHeaderCrc = true;
    archive({rarFile("a", "1"), damaged, rarFile("c", "3")});
    EXPECT_FALSE(rar.Extract());
    EXPECT_EQ(log, QStringList({"Extracting a 1", "Extracted a OK", "Error 12"}));
    EXPECT_EQ(read("c"), "<missing>");

    // A size far beyond the end of the file; stored data one byte longer than
    // its unpacked size (refused before any of it is handed on).
    RarEntry huge = rarFile("huge", "abc");
    huge.claimedSize = 5000000000LL;
    RarEntry longer = rarFile("longer", "abcd");
    longer.claimedUnpSize = 3;
    for (const RarEntry& e : {huge, longer}) {
        log.clear();
        archive({e});
        rar.OnProcessData = [&](TRAR*, const char*, int size, qint64) {
            log << QStringLiteral("Data %1").arg(size);
            return 1;
        };
        EXPECT_FALSE(rar.Extract());
        EXPECT_EQ(log, QStringList({QStringLiteral("Extracting %1 %2")
                                        .arg(QString::fromStdString(e.name))
                                        .arg(e.claimedSize >= 0 ? e.claimedSize : 3),
                                    "Extracted " + QString::fromStdString(e.name) + " FAILED",
                                    "Error 12"}));
        EXPECT_EQ(read(QString::fromStdString(e.name)), "<missing>");
    }
}

TEST_F(TrarTest, OpeningFailuresAreReportedBeforeAnyEntry) {
    rar.ArchiveName.clear();
    EXPECT_FALSE(rar.Test());
    EXPECT_EQ(log, QStringList({"Error 13"}));

    log.clear();
    rawArchive("This is a plain text file, not an archive.\n");
    EXPECT_FALSE(rar.Extract());
    EXPECT_EQ(log, QStringList({"Error 13"}));

    log.clear();
    rawArchive("");
    EXPECT_FALSE(rar.Test());
    EXPECT_EQ(log, QStringList({"Error 13"}));

    log.clear();
    rar.ArchiveName = tmp.filePath("missing.rar");
    EXPECT_FALSE(rar.Test());
    rar.ArchiveName = tmp.path(); // a folder cannot be read as a file
    EXPECT_FALSE(rar.Extract());
    EXPECT_EQ(log, QStringList({"Error 15", "Error 15"}));

    log.clear();
    rawArchive(std::string("Rar!\x1a\x07\x00", 7)); // signature only, no archive header
    EXPECT_FALSE(rar.Test());
    EXPECT_EQ(log, QStringList({"Error 12"}));
    EXPECT_FALSE(QFileInfo::exists(target));
}

TEST_F(TrarTest, NamesLeadingOutsideTheTargetAreWrittenNowhere) {
    const std::vector<std::string> unsafe = {
        "/abs.txt",       "\\abs2.txt", "C:drive.txt",         "..\\up.txt",
        "sub\\..\\..\\x", "sub/../y",   "a\\b\\..\\..\\..\\z", ".."};
    std::vector<RarEntry> entries;
    for (const std::string& n : unsafe)
        entries.push_back(rarFile(n, "escaped"));
    entries.push_back(rarFile("ok.txt", "fine"));
    archive(entries);
    EXPECT_FALSE(rar.Extract());
    QStringList expected;
    for (const std::string& n : unsafe) {
        const QString shown = shownEntryName(QString::fromStdString(n));
        expected << QStringLiteral("Extracting %1 7").arg(shown) << "Extracted " + shown + " FAILED"
                 << "Error 16";
    }
    expected << "Extracting ok.txt 4"
             << "Extracted ok.txt OK";
    EXPECT_EQ(log, expected);
    EXPECT_EQ(allPaths(), QStringList({"target", "target/ok.txt"}));
    EXPECT_FALSE(QFileInfo::exists("/abs.txt"));

    // Testing reads them all without complaint: nothing is written.
    log.clear();
    EXPECT_TRUE(rar.Test());
}

TEST_F(TrarTest, LinksDevicesAndFifosAreNeverCreatedNorWrittenThrough) {
    const QString outside = tmp.filePath("outside");
    lb::test::writeFile(outside + "/secret", "keep me");
    QDir().mkpath(target);
    // Links already in the target folder, planted there before.
    ASSERT_TRUE(QFile::link(outside, target + "/dirlink"));
    ASSERT_TRUE(QFile::link(outside + "/secret", target + "/filelink"));

    archive({rarFile("link", "../outside/secret", RarEntry::Kind::Symlink),
             rarFile("fifo", {}, RarEntry::Kind::Fifo), rarFile("dev", {}, RarEntry::Kind::Device),
             rarFile("dirlink\\secret", "overwritten"), rarFile("dirlink\\new", "planted"),
             rarFile("filelink", "replaced"), rarFile("after.txt", "ok")});
    EXPECT_FALSE(rar.Extract());
    EXPECT_EQ(
        log,
        QStringList({"Extracting link 17", "Extracted link FAILED", "Error 16", "Extracting fifo 0",
                     "Extracted fifo FAILED", "Error 16", "Extracting dev 0",
                     "Extracted dev FAILED", "Error 16", "Extracting dirlink/secret 11",
                     "Extracted dirlink/secret FAILED", "Error 16", "Extracting dirlink/new 7",
                     "Extracted dirlink/new FAILED", "Error 16", "Extracting filelink 8",
                     "Extracted filelink OK", "Extracting after.txt 2", "Extracted after.txt OK"}));
    EXPECT_EQ(lb::test::readFile(outside + "/secret"), "keep me");
    EXPECT_FALSE(QFileInfo::exists(outside + "/new"));
    // The link named like an entry is replaced by the entry's file itself.
    EXPECT_FALSE(QFileInfo(target + "/filelink").isSymLink());
    EXPECT_EQ(read("filelink"), "replaced");
    EXPECT_FALSE(QFileInfo::exists(target + "/link"));
    EXPECT_FALSE(QFileInfo::exists(target + "/fifo"));

    // A link's stored data is checked like any other entry's.
    log.clear();
    EXPECT_TRUE(rar.Test());
}

TEST_F(TrarTest, StopEndsBeforeTheNextEntryAndIsReset) {
    archive({rarFile("1", "a"), rarFile("2", "b"), rarFile("3", "c")});
    rar.OnExtracting = [this](TRAR* r, const RARHeaderData& h) {
        log << "Extracting " + name(h);
        r->Stop = true;
    };
    EXPECT_TRUE(rar.Extract());
    EXPECT_EQ(log, QStringList({"Extracting 1", "Extracted 1 OK"}));
    EXPECT_FALSE(rar.Stop);
    EXPECT_EQ(read("2"), "<missing>");
}

TEST_F(TrarTest, CancelFromDataHandlerAndLockedEntriesEndTheOperation) {
    archive({rarFile("1", "abc"), rarFile("2", "def")});
    rar.OnProcessData = [](TRAR*, const char*, int, qint64) { return -1; };
    EXPECT_FALSE(rar.Extract());
    EXPECT_EQ(log, QStringList({"Extracting 1 3", "Extracted 1 FAILED", "Error 21"}));
    EXPECT_EQ(allPaths(), QStringList({"target"})) << "a cancelled file is not left half-written";

    log.clear();
    RarEntry secret = rarFile("secret", "ciphertext");
    secret.encrypted = true;
    archive({secret, rarFile("2", "def")});
    rar.OnProcessData = nullptr;
    bool asked = false;
    rar.OnReqPassword = [&](TRAR*, const RARHeaderData&, QString& pw) {
        asked = true;
        pw = "guess";
    };
    EXPECT_FALSE(rar.Extract());
    EXPECT_TRUE(asked);
    EXPECT_EQ(log, QStringList({"Extracting secret 10", "Extracted secret FAILED", "Error 22"}));
    EXPECT_EQ(read("secret"), "<missing>")
        << "stored data of a locked entry is never written as plain";
}
