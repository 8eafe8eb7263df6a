#pragma once
// A program folder with a data/ folder to update, archives built with the
// test writer, and a snapshot of data/ to prove a failed update changed nothing.
#include "RarWriter.h"
#include "support/Files.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

namespace lb::test {

using rarwriter::RarEntry;
using rarwriter::writeRarArchive;

inline RarEntry rarFile(const std::string& name, const std::string& data = {},
                        RarEntry::Kind kind = RarEntry::Kind::File) {
    return {name, data, kind};
}

class UpdateFolder {
public:
    // In a new folder under parent (default: the system's temporary folder).
    explicit UpdateFolder(const QString& parent = QDir::tempPath())
        : dir(parent + QStringLiteral("/lb-update-XXXXXX")) {
        QDir(dir.path()).mkpath("data/sub");
        write("data/data.hlz", "old data");
        write("data/engines.hlz", "old engines");
        write("data/sub/keep.txt", "kept");
        write("zkt.ini", "[Proxy]\r\nKeyProxy=0\r\n");
    }
    QString path(const QString& rel) const { return dir.path() + QLatin1Char('/') + rel; }
    void write(const QString& rel, const QByteArray& bytes) const { writeFile(path(rel), bytes); }
    QByteArray read(const QString& rel) const {
        return QFile::exists(path(rel)) ? readFile(path(rel)) : QByteArray("<missing>");
    }
    // Archive written beside the program folder (not inside data/).
    QString archive(const std::vector<RarEntry>& entries) {
        const QString p = archives.filePath(QStringLiteral("u%1.hlz").arg(++count));
        EXPECT_TRUE(writeRarArchive(p.toStdString(), entries));
        return p;
    }
    // Every file and folder under the program folder, with file contents.
    QMap<QString, QByteArray> snapshot() const {
        QMap<QString, QByteArray> out;
        QDirIterator it(dir.path(),
                        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = it.next();
            const QString rel = QDir(dir.path()).relativeFilePath(p);
            out[rel] = it.fileInfo().isDir() ? QByteArray("<dir>") : read(rel);
        }
        return out;
    }

    QTemporaryDir dir;
    QTemporaryDir archives;
    int count = 0;
};

enum class Ended { Killed, Exited, Hung };

// Runs `linkbeacon-cli update` in dir with the install told to stop itself
// (SIGSTOP) before its step K; once it has stopped, kills it with SIGKILL.
inline Ended updateKilledAt(const QString& dir, int k, int* exitCode) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LINKBEACON_INSTALL_PAUSE_AT"), QString::number(k));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(QStringLiteral(LB_CLI), {QStringLiteral("update")});
    if (!p.waitForStarted())
        return Ended::Hung;
    const QString stat = QStringLiteral("/proc/%1/stat").arg(p.processId());
    Ended ended = Ended::Hung;
    for (int i = 0; i < 6000 && ended == Ended::Hung; ++i) { // bounded: a minute
        if (p.waitForFinished(10)) {
            *exitCode = p.exitCode();
            return p.exitStatus() == QProcess::NormalExit ? Ended::Exited : Ended::Killed;
        }
        const QByteArray state = readFile(stat); // "PID (NAME) STATE ..."
        if (state.mid(state.lastIndexOf(')') + 2, 1) == "T")
            ended = Ended::Killed;
    }
    p.kill();
    p.waitForFinished();
    return ended;
}

} // namespace lb::test
