// Which program folder a start works in, and the first-use copy of the
// installed one.
#include "common/ProgramFolder.h"
#include "support/Files.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using lb::test::writeFile;
using namespace lb;

namespace {

class ProgramFolderChoice : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        templ = dir.filePath("usr/share/linkbeacon/programfolder");
        writeFile(templ + "/zkt.ini", "[Proxy]\r\n");
        writeFile(templ + "/data/session/session.hlx", "[List]\r\n");
        QDir().mkpath(templ + "/reports");
        // Installed files cannot be written to.
        QFile::setPermissions(templ + "/zkt.ini", QFile::ReadOwner | QFile::ReadOther);
        QDir().mkpath(dir.filePath("usr/bin"));
        savedXdg = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", dir.filePath("xdg").toUtf8());
    }
    void TearDown() override { qputenv("XDG_DATA_HOME", savedXdg); }

    QTemporaryDir dir;
    QString templ;
    QByteArray savedXdg;
};

TEST_F(ProgramFolderChoice, InstalledProgramOutsideAFolderUsesTheUsersOwnCopy) {
    EXPECT_EQ(installedTemplate(dir.filePath("usr/bin")), templ);
    EXPECT_EQ(installedTemplate(dir.filePath("build")), QString());

    const QString user = dir.filePath("xdg/linkbeacon");
    const QString home = dir.filePath("home");
    writeFile(home + "/data/notes.txt", "x"); // a "data" folder alone is no program folder
    const QString inFolder = dir.filePath("site");
    writeFile(inFolder + "/zkt.ini", "x");
    const QString withDatabase = dir.filePath("db");
    writeFile(withDatabase + "/data/data.hlz", "x");
    struct Case {
        QString current, requested, templateDir, folder;
    } cases[] = {
        {home, {}, templ, user},
        {inFolder, {}, templ, inFolder},
        {withDatabase, {}, templ, withDatabase},
        {home, {}, {}, home}, // a build tree: the current directory, always
        {home, "named", templ, home + "/named"},
        {inFolder, dir.filePath("other"), templ, dir.filePath("other")},
        {home, "data", {}, home + "/data"},
    };
    for (const Case& c : cases) {
        const FolderChoice choice = chooseProgramFolder(c.current, c.requested, c.templateDir);
        EXPECT_EQ(choice.folder, c.folder) << qPrintable(c.current + " " + c.requested);
        EXPECT_TRUE(choice.error.isEmpty()) << qPrintable(choice.error);
    }
    EXPECT_EQ(userProgramFolder(), user);
    qputenv("XDG_DATA_HOME", "relative/path");
    EXPECT_EQ(userProgramFolder(), QDir::homePath() + "/.local/share/linkbeacon");

    const FolderChoice missing = chooseProgramFolder(home, "nowhere", {});
    EXPECT_TRUE(missing.folder.isEmpty());
    EXPECT_EQ(missing.error, "no folder " + home + "/nowhere");
}

TEST_F(ProgramFolderChoice, FirstUseCopiesTheTemplateWritableAndLaterUsesLeaveItAlone) {
    const QString user = dir.filePath("xdg/linkbeacon");
    QString error;
    ASSERT_TRUE(makeFromTemplate(templ, user, error)) << qPrintable(error);
    EXPECT_TRUE(QFileInfo(user + "/data/session/session.hlx").isFile());
    EXPECT_TRUE(QFileInfo(user + "/reports").isDir());
    EXPECT_FALSE(QFileInfo::exists(user + ".partial"));
    QFile ini(user + "/zkt.ini");
    ASSERT_TRUE(ini.open(QIODevice::Append)) << "the copy must be the user's to change";
    ini.write("[Mine]\r\n");
    ini.close();

    // The user's files stay as they are; nothing is copied again.
    QFile::remove(user + "/data/session/session.hlx");
    ASSERT_TRUE(makeFromTemplate(templ, user, error));
    EXPECT_FALSE(QFileInfo::exists(user + "/data/session/session.hlx"));
    EXPECT_EQ(lb::test::readFile(user + "/zkt.ini"), QByteArray("[Proxy]\r\n[Mine]\r\n"));

    // A copy that cannot be made leaves nothing that looks like a folder.
    writeFile(dir.filePath("blocked"), "x");
    EXPECT_FALSE(makeFromTemplate(templ, dir.filePath("blocked/linkbeacon"), error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("blocked/linkbeacon")));
}

} // namespace
