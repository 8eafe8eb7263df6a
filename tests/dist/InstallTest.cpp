// scripts/install with the desktop entry and the icons, checked the way a
// desktop and a user meet them: installed into a fresh prefix, validated,
// started.
#include "support/Files.h"

#include <gtest/gtest.h>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

namespace {

const QString kSource = QStringLiteral(LB_SOURCE_DIR);
const QString kBuild = QFileInfo(QStringLiteral(LB_CLI)).absolutePath();

struct Result {
    int code = -1; // -1: crashed or timed out
    QString out;
};

Result run(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    const bool ended = p.waitForFinished(120000);
    if (!ended)
        p.kill();
    p.waitForFinished();
    const bool normal = ended && p.exitStatus() == QProcess::NormalExit;
    return {normal ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAll())};
}

} // namespace

TEST(Installed, PutsBinariesEntryAndIconsUnderThePrefixAndALauncherThatKeepsTheUsersFiles) {
    QTemporaryDir dir;
    const QString prefix = dir.filePath("prefix");
    const Result install =
        run("bash", {kSource + "/scripts/install", "--prefix", prefix, "--from", kBuild});
    ASSERT_EQ(install.code, 0) << qPrintable(install.out);

    const QString entry = prefix + "/share/applications/linkbeacon.desktop";
    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    ASSERT_FALSE(validator.isEmpty())
        << "desktop-file-validate is not installed (scripts/bootstrap)";
    const Result r = run(validator, {entry});
    EXPECT_EQ(r.code, 0) << qPrintable(r.out);
    EXPECT_TRUE(r.out.trimmed().isEmpty()) << qPrintable(r.out);
    const QString text = QString::fromUtf8(lb::test::readFile(entry));
    // The menu must start the launcher even when ~/.local/bin is not on PATH.
    EXPECT_TRUE(text.contains(QStringLiteral("\nExec=") + prefix + "/bin/linkbeacon\n"))
        << qPrintable(text);
    EXPECT_TRUE(text.contains("\nIcon=linkbeacon\n"));
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QImage icon(QStringLiteral("%1/share/icons/hicolor/%2x%2/apps/linkbeacon.png")
                              .arg(prefix)
                              .arg(size));
        EXPECT_EQ(icon.size(), QSize(size, size)) << size;
        // Round badge: corners see through, the centre is opaque.
        EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0) << size;
        EXPECT_EQ(qAlpha(icon.pixel(size / 2, size / 2)), 255) << size;
    }

    // The installed command-line front end works from any folder.
    const Result cli = run(prefix + "/bin/linkbeacon-cli", {});
    EXPECT_EQ(cli.code, 2);
    EXPECT_TRUE(cli.out.contains("usage:")) << qPrintable(cli.out);

    // The launcher makes the program folder once and keeps the user's files.
    const QString xdg = dir.filePath("xdg");
    const QString folder = xdg + "/linkbeacon";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", xdg);
    env.insert("QT_QPA_PLATFORM", "offscreen");

    // Starts the window, waits until it stands in its program folder, closes it.
    auto startOnce = [&](const QString& mustExist) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(prefix + "/bin/linkbeacon", {});
        EXPECT_TRUE(p.waitForStarted(10000));
        bool seen = false;
        // Polls for at least a second, so the window has had time to come up.
        for (int i = 0; i < 300 && p.state() == QProcess::Running && !(seen && i >= 20); ++i) {
            seen = QFileInfo::exists(mustExist);
            QThread::msleep(50);
        }
        // Still running means the main window came up and waits for the user.
        EXPECT_EQ(p.state(), QProcess::Running)
            << qPrintable(QString::fromLocal8Bit(p.readAllStandardError()));
        p.terminate();
        if (!p.waitForFinished(10000)) {
            p.kill();
            p.waitForFinished();
        }
        return seen;
    };

    ASSERT_TRUE(startOnce(folder + "/data/session/session.hlx"));
    const QString mine = folder + "/data/session/mine.hlx";
    lb::test::writeFile(mine, "[mine]\r\nurl=http://example.org/\r\n");
    QFile::remove(folder + "/data/data.hlz");
    // A second start neither re-copies the bundle nor touches the user's files.
    EXPECT_TRUE(startOnce(mine));
    EXPECT_FALSE(QFileInfo::exists(folder + "/data/data.hlz"));
}
