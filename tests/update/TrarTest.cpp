#include "update/TRAR.h"
#include "update/UpdateFixture.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace lb;
using lb::test::rarFile;
using rarwriter::RarEntry;

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

    void archive(const std::vector<RarEntry>& entries) {
        rawArchive(rarwriter::rarArchive(entries));
    }
    void rawArchive(const std::string& bytes) {
        rar.ArchiveName = tmp.filePath(QStringLiteral("a%1.rar").arg(++count));
        rar.TargetDir = target;
        lb::test::writeFile(rar.ArchiveName, QByteArray::fromStdString(bytes));
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
             rarFile("empty", ""), rarFile("deep\\er\\c.txt", "!")});
    EXPECT_TRUE(rar.Test());
    EXPECT_EQ(log,
              QStringList({"Comment Engine database of December", "Testing a.txt",
                           "Tested a.txt OK", "Testing sub", "Tested sub OK", "Testing empty",
                           "Tested empty OK", "Testing deep/er/c.txt", "Tested deep/er/c.txt OK"}));
    EXPECT_FALSE(QFileInfo::exists(target)) << "testing writes nothing";

    log.clear();
    EXPECT_TRUE(rar.Extract());
    EXPECT_EQ(log.mid(0, 3), QStringList({"Comment Engine database of December",
                                          "Extracting a.txt 5", "Extracted a.txt OK"}));
    EXPECT_EQ(log.mid(7),
              QStringList({"Extracting deep/er/c.txt 1", "Extracted deep/er/c.txt OK"}));
    EXPECT_EQ(read("a.txt"), "hello");
    EXPECT_EQ(read("deep/er/c.txt"), "!");
    EXPECT_EQ(allPaths(), QStringList({"target", "target/a.txt", "target/deep", "target/deep/er",
                                       "target/deep/er/c.txt", "target/empty", "target/sub"}))
        << "no temporary files left behind";
}

TEST_F(TrarTest, CrcMismatchFailsTheEntryKeepsOldFileAndGoesOn) {
    RarEntry bad = rarFile("bad.txt", "evil bytes");
    bad.wrongCrc = true;
    archive({bad, rarFile("good", "b")});
    EXPECT_FALSE(rar.Test());
    EXPECT_EQ(log, QStringList({"Testing bad.txt", "Tested bad.txt FAILED", "Error 12",
                                "Testing good", "Tested good OK"}));

    lb::test::writeFile(target + "/bad.txt", "previous");
    log.clear();
    EXPECT_FALSE(rar.Extract());
    EXPECT_EQ(log, QStringList({"Extracting bad.txt 10", "Extracted bad.txt FAILED", "Error 12",
                                "Extracting good 1", "Extracted good OK"}));
    EXPECT_EQ(read("bad.txt"), "previous") << "data that fails its check replaces nothing";
    EXPECT_EQ(allPaths(), QStringList({"target", "target/bad.txt", "target/good"}));
}

// Damaged archives at large are fuzz_rar_archive's; here where the walk ends.
TEST_F(TrarTest, ArchivesEndingInsideDataOrHeaderOrWithDamagedHeaderAreBadData) {
    // Ends inside the second entry's data.
    std::string bytes =
        rarwriter::rarArchive({rarFile("a", "0123"), rarFile("b", "0123456789")}, false);
    rawArchive(bytes.substr(0, bytes.size() - 4));
    EXPECT_FALSE(rar.Extract());
    EXPECT_EQ(log, QStringList({"Extracting a 4", "Extracted a OK", "Extracting b 10",
                                "Extracted b FAILED", "Error 12"}));
    EXPECT_EQ(read("b"), "<missing>");

    // A header whose check value is wrong ends the walk.
    log.clear();
    RarEntry damaged = rarFile("b", "x");
    damaged.wrongHeaderCrc = true;
    archive({rarFile("a", "1"), damaged, rarFile("c", "3")});
    EXPECT_FALSE(rar.Test());
    EXPECT_EQ(log, QStringList({"Testing a", "Tested a OK", "Error 12"}));

    // Stored data one byte longer than its unpacked size: refused before any
    // of it is handed on.
    log.clear();
    RarEntry longer = rarFile("longer", "abcd");
    longer.claimedUnpSize = 3;
    archive({longer});
    rar.OnProcessData = [&](TRAR*, const char*, int size, qint64) {
        log << QStringLiteral("Data %1").arg(size);
        return 1;
    };
    EXPECT_FALSE(rar.Extract());
    EXPECT_EQ(log, QStringList({"Extracting longer 3", "Extracted longer FAILED", "Error 12"}));
    EXPECT_EQ(read("longer"), "<missing>");
}

// (A file that cannot be opened, error 15, is the command line's row.)
TEST_F(TrarTest, OpeningFailuresAreReportedBeforeAnyEntry) {
    // Not an archive; the signature alone, without an archive header.
    for (const auto& [bytes, error] :
         {std::pair<std::string, QString>{"A plain text file, not an archive.\n", "Error 13"},
          {std::string("Rar!\x1a\x07\x00", 7), "Error 12"}}) {
        log.clear();
        rawArchive(bytes);
        EXPECT_FALSE(rar.Extract());
        EXPECT_EQ(log, QStringList({error}));
    }
    EXPECT_FALSE(QFileInfo::exists(target));
}

TEST_F(TrarTest, NamesLeadingOutsideTheTargetAreWrittenNowhere) {
    const std::vector<std::string> unsafe = {"/abs.txt", "C:drive.txt", "..\\up.txt", "sub/../y",
                                             "a\\b\\..\\..\\..\\z"};
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

// Link, device and pipe entries are never created, and links planted in the
// target folder before are never written through.
TEST_F(TrarTest, LinksDevicesAndFifosAreNeverCreatedNorWrittenThrough) {
    const QString outside = tmp.filePath("outside");
    lb::test::writeFile(outside + "/secret", "keep me");
    QDir().mkpath(target);
    ASSERT_TRUE(QFile::link(outside, target + "/dirlink"));
    ASSERT_TRUE(QFile::link(outside + "/secret", target + "/filelink"));
    archive({rarFile("link", "../outside/secret", RarEntry::Kind::Symlink),
             rarFile("fifo", {}, RarEntry::Kind::Fifo), rarFile("dev", {}, RarEntry::Kind::Device),
             rarFile("dirlink\\secret", "overwritten"), rarFile("filelink", "replaced")});
    EXPECT_FALSE(rar.Extract());
    QStringList failed;
    for (const QString& line : log)
        if (line.endsWith(" FAILED"))
            failed << line;
    EXPECT_EQ(failed, QStringList({"Extracted link FAILED", "Extracted fifo FAILED",
                                   "Extracted dev FAILED", "Extracted dirlink/secret FAILED"}));
    EXPECT_EQ(log.count("Error 16"), 4);
    EXPECT_EQ(lb::test::readFile(outside + "/secret"), "keep me");
    // The link named like an entry is replaced by the entry's file itself.
    EXPECT_FALSE(QFileInfo(target + "/filelink").isSymLink());
    EXPECT_EQ(read("filelink"), "replaced");
    EXPECT_EQ(allPaths(), QStringList({"outside", "outside/secret", "target", "target/dirlink",
                                       "target/filelink"}));
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
    rar.OnReqPassword = [&](TRAR*, const RARHeaderData&, QString& pw) { pw = "guess"; };
    EXPECT_FALSE(rar.Extract());
    EXPECT_EQ(log, QStringList({"Extracting secret 10", "Extracted secret FAILED", "Error 22"}));
    EXPECT_EQ(read("secret"), "<missing>")
        << "stored data of a locked entry is never written as plain";
}
