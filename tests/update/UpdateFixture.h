#pragma once
// A program folder with a data/ folder to update, archives built with the
// test writer, and a snapshot of data/ to prove a failed update changed nothing.
#include "support/Files.h"
#include "support/RarWriter.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace lb::test {

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
// before its step K; once it has stopped, kills it with SIGKILL.
inline Ended updateKilledAt(const QString& dir, int k, int* exitCode) {
    const QByteArray cli = LB_CLI;
    const QByteArray folder = QFile::encodeName(dir);
    QList<QByteArray> env;
    for (char** e = environ; *e; ++e)
        env << QByteArray(*e);
    env << "LINKBEACON_INSTALL_PAUSE_AT=" + QByteArray::number(k);
    std::vector<char*> envp;
    for (QByteArray& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    char update[] = "update";
    char* argv[] = {const_cast<char*>(cli.constData()), update, nullptr};
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);

    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(folder.constData()) != 0)
            ::_exit(127);
        ::dup2(devNull, 1);
        ::dup2(devNull, 2);
        ::execve(cli.constData(), argv, envp.data());
        ::_exit(127);
    }
    ::close(devNull);
    int status = 0;
    bool changed = false;
    for (int i = 0; i < 6000 && !changed; ++i) { // bounded: a minute
        changed = ::waitpid(pid, &status, WNOHANG | WUNTRACED) == pid;
        if (!changed)
            ::usleep(10 * 1000);
    }
    if (changed && WIFEXITED(status)) {
        *exitCode = WEXITSTATUS(status);
        return Ended::Exited;
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return changed ? Ended::Killed : Ended::Hung;
}

} // namespace lb::test
