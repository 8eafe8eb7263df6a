#include "update/InstallJournal.h"

#include "common/FileError.h"
#include "update/TargetFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSet>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace lb {

namespace {

constexpr char kMagic[] = "linkbeacon install journal 1";

struct Move {
    QString rel;    // under the data folder, "/" between folders
    QString backup; // where the old file waits; empty when there was none
};

struct Journal {
    bool committed = false;
    QString staging;     // the staging folder's name inside the data folder
    QStringList folders; // folders the install creates, parents first
    QList<Move> moves;
};

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

bool exists(const QString& path) {
    struct stat st {};
    return ::lstat(native(path).constData(), &st) == 0;
}

// Removes a file; one that is already gone is fine.
bool removeFile(const QString& path) {
    return ::unlink(native(path).constData()) == 0 || errno == ENOENT;
}

bool moveFile(const QString& from, const QString& to) {
    return ::rename(native(from).constData(), native(to).constData()) == 0;
}

bool removeTree(const QString& path) {
    if (!exists(path))
        return true;
    QDir(path).removeRecursively();
    return !exists(path);
}

// Everything written to the data folder's file system so far reaches the
// disk: one call instead of one per file of an archive of thousands.
void flushFileSystem(const QString& dataDir) {
    const int fd = ::open(native(dataDir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool ok = fd >= 0 && ::syncfs(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!ok)
        throw FileError::cannotWrite(dataDir + QLatin1Char('/'));
}

// With LINKBEACON_INSTALL_PAUSE_AT=K in the environment, an install stops
// its own process (SIGSTOP) before its K-th step that changes the disk
// (counted from 0), so the crash test can kill it at exactly that point.
// Unset, nothing happens.
class StepHook {
public:
    explicit StepHook(bool fromEnvironment) {
        bool ok = false;
        if (fromEnvironment)
            m_pauseAt = qEnvironmentVariableIntValue("LINKBEACON_INSTALL_PAUSE_AT", &ok);
        if (!ok)
            m_pauseAt = -1;
    }
    void step() {
        if (m_count++ == m_pauseAt)
            ::raise(SIGSTOP);
    }

private:
    int m_pauseAt = -1;
    int m_count = 0;
};

QByteArray encoded(const QString& path) {
    return native(path).toPercentEncoding("/");
}
QString decoded(const QByteArray& field) {
    return QFile::decodeName(QByteArray::fromPercentEncoding(field));
}

QByteArray journalText(const Journal& j) {
    QByteArray t = QByteArray(kMagic) + '\n';
    t += j.committed ? "committed\n" : "open\n";
    t += "staging " + encoded(j.staging) + '\n';
    for (const QString& f : j.folders)
        t += "folder " + encoded(f) + '\n';
    for (const Move& m : j.moves)
        t += "move " + encoded(m.rel) + ' ' + encoded(m.backup) + '\n';
    return t + "end\n";
}

bool isSafeRelative(const QString& rel) {
    return !rel.isEmpty() && TargetFolder::safeComponents(rel).join(QLatin1Char('/')) == rel;
}

// The journal as written; throws when it is not one this program wrote
// whole (the write is atomic, so that means someone else's file).
Journal readJournal(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw FileError::cannotOpen(path);
    const QList<QByteArray> lines = f.readAll().split('\n');
    auto bad = [&] { return FileError::cannotOpen(path); };
    if (lines.size() < 5 || lines[0] != kMagic || lines[lines.size() - 2] != "end" ||
        !lines.last().isEmpty())
        throw bad();
    Journal j;
    if (lines[1] != "open" && lines[1] != "committed")
        throw bad();
    j.committed = lines[1] == "committed";
    if (!lines[2].startsWith("staging "))
        throw bad();
    j.staging = decoded(lines[2].mid(8));
    if (!j.staging.startsWith(QLatin1String(InstallJournal::StagingPrefix)) ||
        !isSafeRelative(j.staging) || j.staging.contains(QLatin1Char('/')))
        throw bad();
    for (qsizetype i = 3; i < lines.size() - 2; ++i) {
        const QList<QByteArray> parts = lines[i].split(' ');
        if (parts.size() == 2 && parts[0] == "folder" && isSafeRelative(decoded(parts[1]))) {
            j.folders << decoded(parts[1]);
        } else if (parts.size() == 3 && parts[0] == "move" && isSafeRelative(decoded(parts[1])) &&
                   (parts[2].isEmpty() || isSafeRelative(decoded(parts[2])))) {
            j.moves.append({decoded(parts[1]), decoded(parts[2])});
        } else {
            throw bad();
        }
    }
    return j;
}

// Written beside its final name and renamed, so the journal on disk is
// always a whole one: the old state or the new.
void writeJournal(const QString& dataDir, const Journal& j) {
    const QString path = dataDir + QLatin1Char('/') + QLatin1String(InstallJournal::JournalName);
    const QString temp = path + QStringLiteral(".tmp");
    const QByteArray text = journalText(j);
    const int fd = ::open(native(temp).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    qsizetype done = 0;
    while (ok && done < text.size()) {
        const ssize_t n = ::write(fd, text.constData() + done, size_t(text.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += ok ? n : 0;
    }
    ok = ok && ::fsync(fd) == 0;
    if (fd >= 0 && ::close(fd) != 0)
        ok = false;
    ok = ok && moveFile(temp, path);
    if (!ok) {
        removeFile(temp);
        throw FileError::cannotWrite(path);
    }
    const int dir = ::open(native(dataDir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ok = dir >= 0 && ::fsync(dir) == 0;
    if (dir >= 0)
        ::close(dir);
    if (!ok)
        throw FileError::cannotWrite(path);
}

QString journalPath(const QString& dataDir) {
    return dataDir + QLatin1Char('/') + QLatin1String(InstallJournal::JournalName);
}

// Every staged file in place: the backups, the staging folder, the leftovers
// and last the journal go. Returns the first path that could not be removed
// (the journal then stays, so the next recovery tries again), else empty.
QString finish(const QString& dataDir, const Journal& j, const QStringList& leftovers,
               StepHook& hook) {
    const QString data = dataDir + QLatin1Char('/');
    const QString staging = data + j.staging + QLatin1Char('/');
    QString failed;
    for (const Move& m : j.moves) {
        // Only a recovery meets a staged file here; the install commits
        // after its last move.
        if (exists(staging + m.rel) && !moveFile(staging + m.rel, data + m.rel) && failed.isEmpty())
            failed = data + m.rel;
        if (m.backup.isEmpty())
            continue;
        hook.step();
        if (!removeFile(data + m.backup) && failed.isEmpty())
            failed = data + m.backup;
    }
    hook.step();
    if (!removeTree(data + j.staging) && failed.isEmpty())
        failed = data + j.staging;
    for (const QString& name : leftovers) {
        hook.step();
        if (!removeFile(data + name) && failed.isEmpty())
            failed = data + name;
    }
    if (failed.isEmpty()) {
        hook.step();
        if (!removeFile(journalPath(dataDir)))
            failed = journalPath(dataDir);
    }
    return failed;
}

// Puts every old file back and removes every new one, whichever moves were
// made: a staged file still in the staging folder was never moved.
void rollBack(const QString& dataDir, const Journal& j, const QStringList& leftovers) {
    const QString data = dataDir + QLatin1Char('/');
    const QString staging = data + j.staging + QLatin1Char('/');
    for (auto m = j.moves.crbegin(); m != j.moves.crend(); ++m) {
        const bool moved = !exists(staging + m->rel);
        if (!m->backup.isEmpty() && exists(data + m->backup)) {
            if ((moved && !removeFile(data + m->rel)) || !moveFile(data + m->backup, data + m->rel))
                throw FileError::cannotWrite(data + m->rel);
        } else if (m->backup.isEmpty() && moved && !removeFile(data + m->rel)) {
            throw FileError::cannotWrite(data + m->rel);
        }
    }
    // Folders the install made go once empty; one holding other files stays.
    for (auto f = j.folders.crbegin(); f != j.folders.crend(); ++f)
        ::rmdir(native(data + *f).constData());
    if (!removeTree(data + j.staging))
        throw FileError::cannotWrite(data + j.staging);
    for (const QString& name : leftovers)
        if (!removeFile(data + name))
            throw FileError::cannotWrite(data + name);
    flushFileSystem(dataDir);
    if (!removeFile(journalPath(dataDir)))
        throw FileError::cannotWrite(journalPath(dataDir));
}

} // namespace

void InstallJournal::install(const QString& dataDir, const QString& staging,
                             const QStringList& leftovers) {
    StepHook hook(true);
    const QString data = dataDir + QLatin1Char('/');
    Journal j;
    j.staging = QFileInfo(staging).fileName();
    const QString backupSuffix =
        QStringLiteral(".old-") + j.staging.mid(int(qstrlen(StagingPrefix)));

    // Everything staged, parents before their contents.
    QStringList staged;
    QDirIterator it(staging, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        staged << QDir(staging).relativeFilePath(it.next());
    staged.sort();
    const QSet<QString> stagedSet(staged.cbegin(), staged.cend());

    // Every destination is checked before anything moves, so a clash cannot
    // leave half an install: a folder must meet a real folder (never a link),
    // a file must not meet a folder.
    for (const QString& rel : staged) {
        struct stat src {
        }, dst{};
        if (::lstat(native(staging + QLatin1Char('/') + rel).constData(), &src) != 0)
            throw FileError::cannotOpen(data + rel);
        const bool old = ::lstat(native(data + rel).constData(), &dst) == 0;
        if (S_ISDIR(src.st_mode)) {
            if (!old)
                j.folders << rel;
            else if (!S_ISDIR(dst.st_mode))
                throw FileError::cannotWrite(data + rel);
            continue;
        }
        if (old && S_ISDIR(dst.st_mode))
            throw FileError::cannotWrite(data + rel);
        const QString backup = old ? rel + backupSuffix : QString();
        if (old && (exists(data + backup) || stagedSet.contains(backup)))
            throw FileError::cannotWrite(data + backup);
        j.moves.append({rel, backup});
    }

    // The staged files and folders are on disk before the journal names them.
    flushFileSystem(dataDir);
    try {
        hook.step();
        writeJournal(dataDir, j);
        for (const QString& f : std::as_const(j.folders)) {
            hook.step();
            if (::mkdir(native(data + f).constData(), 0755) != 0)
                throw FileError::cannotWrite(data + f);
        }
        for (const Move& m : std::as_const(j.moves)) {
            if (!m.backup.isEmpty()) {
                hook.step();
                if (!moveFile(data + m.rel, data + m.backup))
                    throw FileError::cannotWrite(data + m.rel);
            }
            hook.step();
            if (!moveFile(staging + QLatin1Char('/') + m.rel, data + m.rel))
                throw FileError::cannotWrite(data + m.rel);
        }
        // Every move on disk before the journal says so.
        flushFileSystem(dataDir);
        j.committed = true;
        hook.step();
        writeJournal(dataDir, j);
    } catch (const FileError&) {
        try {
            rollBack(dataDir, j, leftovers);
        } catch (const FileError&) {
            // The journal stays; the next start tries again.
        }
        throw;
    }
    // The new files are in place; what cannot be cleaned up now is left to
    // the next recovery, with the committed journal.
    finish(dataDir, j, leftovers, hook);
}

InstallJournal::Recovery InstallJournal::recover(const QString& dataDir,
                                                 const QStringList& leftovers) {
    if (!QFileInfo(dataDir).isDir())
        return Recovery::Nothing;
    const QString data = dataDir + QLatin1Char('/');
    Recovery result = Recovery::Nothing;
    if (exists(journalPath(dataDir))) {
        const Journal j = readJournal(journalPath(dataDir));
        if (j.committed) {
            StepHook none(false);
            const QString failed = finish(dataDir, j, leftovers, none);
            if (!failed.isEmpty())
                throw FileError::cannotWrite(failed);
            result = Recovery::Finished;
        } else {
            rollBack(dataDir, j, leftovers);
            result = Recovery::RolledBack;
        }
    }

    // What an install that died before its journal was written leaves.
    bool removed = false;
    const QStringList stale = QDir(dataDir).entryList(
        {QLatin1String(StagingPrefix) + QLatin1Char('*')},
        QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoSymLinks | QDir::NoDotAndDotDot);
    for (const QString& name : stale) {
        if (!removeTree(data + name))
            throw FileError::cannotWrite(data + name);
        removed = true;
    }
    for (const QString& name : leftovers + QStringList{QLatin1String(JournalName) + ".tmp"}) {
        if (!exists(data + name))
            continue;
        if (!removeFile(data + name))
            throw FileError::cannotWrite(data + name);
        removed = true;
    }
    return result == Recovery::Nothing && removed ? Recovery::RolledBack : result;
}

DataFolderLock::DataFolderLock(const QString& dataDir) {
    m_fd = ::open(native(dataDir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    m_held = m_fd < 0 || ::flock(m_fd, LOCK_EX | LOCK_NB) == 0;
}

DataFolderLock::~DataFolderLock() {
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace lb
