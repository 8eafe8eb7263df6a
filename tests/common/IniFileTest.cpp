#include "common/IniFile.h"
#include "common/FileError.h"
#include "common/IndexList.h"
#include "common/LineSplitter.h"
#include "support/Files.h"
#include "support/Thrown.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using lb::test::readFile;
using lb::test::writeFile;
using namespace lb;

TEST(IniFile, NamesCompareWithoutCaseAndKeysKeepTheirFirstCase) {
    QTemporaryDir dir;
    IniFile ini(dir.filePath("a.ini"));
    ini.writeString("Proxy", "ProxyHost", "h1");
    ini.writeString("PROXY", "proxyhost", "h2");
    ini.writeString("proxy", "Other", "o");
    EXPECT_EQ(ini.readString("pRoXy", "PROXYHOST"), "h2");
    EXPECT_EQ(readFile(ini.path()), QByteArray("[Proxy]\r\nProxyHost=h2\r\nOther=o\r\n"));
    EXPECT_EQ(ini.readSection("PROXY"), QStringList({"ProxyHost", "Other"}));
}

TEST(IniFile, MissingFileOrKeyReadsTheDefault) {
    QTemporaryDir dir;
    writeFile(dir.filePath("some.ini"), "[S]\nk=1\n");
    const IniFile none(dir.filePath("none.ini")), some(dir.filePath("some.ini"));
    EXPECT_EQ(none.readInteger("S", "k", 7), 7);
    EXPECT_EQ(some.readString("S", "other", "d"), "d");
    EXPECT_EQ(some.readString("T", "k", "d"), "d");
    EXPECT_TRUE(some.readBool("S", "k", false));
}

TEST(IniFile, ReadsAreCutAt1023CharactersAnd8192BytesOfKeyNames) {
    QTemporaryDir dir;
    IniFile ini(dir.filePath("big.ini"));
    ini.writeString("S", "long", QString(3000, QLatin1Char('x')));
    EXPECT_EQ(ini.readString("S", "long").size(), 1023);
    // A name of 10 bytes, then names of 9: each takes a byte more with its
    // zero, plus a final zero; 1 + 11 + 818 * 10 fills the 8192 exactly.
    QByteArray text = "[K]\r\nname10000x=\r\n";
    for (int i = 1; i < 1000; ++i)
        text += "name" + QByteArray::number(10000 + i) + "=\r\n";
    writeFile(dir.filePath("keys.ini"), text);
    const QStringList keys = IniFile(dir.filePath("keys.ini")).readSection("K");
    EXPECT_EQ(keys.size(), 819);
    EXPECT_EQ(keys.last(), "name10818");
}

TEST(IniFile, WritesCrLfAndReadsAnyLineEnd) {
    QTemporaryDir dir;
    writeFile(dir.filePath("mixed.ini"), "[A]\rx=1\n[B]\r\ny=2");
    IniFile ini(dir.filePath("mixed.ini"));
    EXPECT_EQ(ini.readString("A", "x"), "1");
    EXPECT_EQ(ini.readString("B", "y"), "2");
    ini.writeString("B", "z", "3");
    EXPECT_EQ(readFile(ini.path()), QByteArray("[A]\r\nx=1\r\n[B]\r\ny=2\r\nz=3\r\n"));
    ini.eraseSection("a");
    EXPECT_EQ(readFile(ini.path()), QByteArray("[B]\r\ny=2\r\nz=3\r\n"));
    ini.deleteKey("B", "Y");
    EXPECT_EQ(readFile(ini.path()), QByteArray("[B]\r\nz=3\r\n"));
}

TEST(IniFile, AFailedWriteRaisesUnableToWriteAndLeavesTheOldFile) {
    QTemporaryDir dir;
    const QString bad = dir.filePath("missing/folder/x.ini");
    IniFile missing(bad);
    EXPECT_EQ(lb::test::thrownMessage<FileError>([&] { missing.writeString("S", "k", "v"); }),
              "Unable to write to " + bad);
    // A folder that cannot be written to: the replacement fails, the old content stays.
    QDir(dir.path()).mkdir("ro");
    const QString path = dir.filePath("ro/x.ini");
    writeFile(path, "[S]\r\nk=old\r\n");
    QFile::setPermissions(dir.filePath("ro"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    IniFile ini(path);
    const QString message =
        lb::test::thrownMessage<FileError>([&] { ini.writeString("S", "k", "new"); });
    QFile::setPermissions(dir.filePath("ro"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (message != "<no exception>") { // (root may write anywhere)
        EXPECT_EQ(message, "Unable to write to " + path);
        EXPECT_EQ(readFile(path), QByteArray("[S]\r\nk=old\r\n"));
    }
}

// A line without a name before its "=" is no key: it is kept as it is. The
// first "=" of a line ends its name.
TEST(IniFile, LinesWithoutANameAreNoKeys) {
    QTemporaryDir dir;
    writeFile(dir.filePath("k.ini"), "[S]\r\n=nameless\r\na=1=2\r\n;c=2\r\n");
    IniFile ini(dir.filePath("k.ini"));
    EXPECT_EQ(ini.readString("S", "", "none"), "none");
    EXPECT_EQ(ini.readString("S", "a"), "1=2");
    EXPECT_EQ(ini.readString("S", ";c", "none"), "none");
    ini.writeString("S", "b", "2");
    EXPECT_EQ(ini.readSection("S"), QStringList({"a", "b"}));
    EXPECT_EQ(readFile(ini.path()), "[S]\r\n=nameless\r\na=1=2\r\n;c=2\r\nb=2\r\n");
}

TEST(IndexListConvention, ReadsNamesInKeyOrderAndRewritesTheSection) {
    QTemporaryDir dir;
    writeFile(dir.filePath("i.ini"),
              "[List]\r\n1=second\r\n0=first\r\n2=third\r\n[Other]\r\nk=v\r\n");
    IniFile ini(dir.filePath("i.ini"));
    EXPECT_EQ(readIndexList(ini, "list"), QStringList({"first", "second", "third"}));
    writeIndexList(ini, "List", {"x", "y"});
    EXPECT_EQ(readFile(ini.path()), QByteArray("[Other]\r\nk=v\r\n[List]\r\n0=x\r\n1=y\r\n"));
    EXPECT_TRUE(readIndexList(IniFile(dir.filePath("none.ini")), "List").isEmpty());
}

TEST(LineSplitting, EveryLineEndEndsALineAndAZeroByteEndsTheText) {
    static const char text[] = "a\r\nb\rc\n\nd\0e";
    EXPECT_EQ(splitLines(QByteArray(text, sizeof(text) - 1)),
              QStringList({"a", "b", "c", "", "d"}));
    EXPECT_EQ(splitLines(QByteArray("x\r\n")), QStringList({"x"}));
    EXPECT_EQ(joinLinesCrLf({"a", "b"}), QByteArray("a\r\nb\r\n"));
    // Bytes that are not UTF-8 are read as Latin-1.
    EXPECT_EQ(splitLines(QByteArray("caf\xe9")), QStringList({QString::fromLatin1("caf\xe9")}));
}

// One reader held across changes made by another IniFile of this process, by
// a program rewriting the file in place and by a replacement: its cache never
// answers with old values.
TEST(IniFile, AReaderKeptAliveSeesEveryChangeOfTheFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("kept.ini");
    writeFile(path, "[S]\r\nk=1\r\nother=x\r\n");
    const IniFile reader(path);
    EXPECT_EQ(reader.readString("S", "k"), "1");
    IniFile(path).writeString("S", "k", "2"); // same size as before
    EXPECT_EQ(reader.readString("S", "k"), "2");
    writeFile(path, "[S]\r\nk=three\r\n"); // in place, same file
    EXPECT_EQ(reader.readString("S", "k"), "three");
    EXPECT_FALSE(reader.valueExists("S", "other"));
    const QString next = dir.filePath("next.ini");
    writeFile(next, "[S]\r\nk=four\r\n");
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::rename(next, path));
    EXPECT_EQ(reader.readString("S", "k"), "four");
}
