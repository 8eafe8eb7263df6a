#include "common/ProgramFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace lb {

namespace {

bool copyTree(const QString& from, const QString& to, QString& error) {
    if (!QDir().mkpath(to)) {
        error = QStringLiteral("cannot make %1").arg(to);
        return false;
    }
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    const QDir source(from);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + QLatin1Char('/') + source.relativeFilePath(path);
        if (it.fileInfo().isDir()) {
            if (!QDir().mkpath(target)) {
                error = QStringLiteral("cannot make %1").arg(target);
                return false;
            }
            continue;
        }
        QFile::remove(target);
        if (!QFile::copy(path, target)) {
            error = QStringLiteral("cannot copy %1 to %2").arg(path, target);
            return false;
        }
        // Installed files are read-only; the user's copies are theirs to change.
        QFile::setPermissions(target,
                              QFile::permissions(target) | QFile::ReadOwner | QFile::WriteOwner);
    }
    return true;
}

} // namespace

QString installedTemplate(const QString& executableDir) {
    const QString dir =
        QDir::cleanPath(executableDir + QStringLiteral("/../share/linkbeacon/programfolder"));
    return QFileInfo(dir).isDir() ? dir : QString();
}

bool isProgramFolder(const QString& dir) {
    return QFileInfo(dir + QStringLiteral("/zkt.ini")).isFile() ||
           QFileInfo(dir + QStringLiteral("/data/data.hlz")).isFile();
}

QString userProgramFolder() {
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(base + QStringLiteral("/linkbeacon"));
}

bool makeFromTemplate(const QString& templateDir, const QString& folder, QString& error) {
    if (QFileInfo::exists(folder))
        return true;
    const QString partial = folder + QStringLiteral(".partial");
    QDir(partial).removeRecursively();
    if (!copyTree(templateDir, partial, error)) {
        QDir(partial).removeRecursively();
        return false;
    }
    if (!QDir().rename(partial, folder)) {
        QDir(partial).removeRecursively();
        // Another start may have made it meanwhile.
        if (QFileInfo(folder).isDir())
            return true;
        error = QStringLiteral("cannot make %1").arg(folder);
        return false;
    }
    return true;
}

FolderChoice chooseProgramFolder(const QString& current, const QString& requested,
                                 const QString& templateDir) {
    QString folder = requested;
    if (folder.isEmpty()) {
        if (templateDir.isEmpty() || isProgramFolder(current))
            return {current, {}};
        folder = userProgramFolder();
    }
    folder = QDir(current).absoluteFilePath(folder);
    QString error;
    if (!QFileInfo(folder).isDir()) {
        if (templateDir.isEmpty())
            return {{}, QStringLiteral("no folder %1").arg(folder)};
        if (!makeFromTemplate(templateDir, folder, error))
            return {{}, error};
        if (!QFileInfo(folder).isDir())
            return {{}, QStringLiteral("no folder %1").arg(folder)};
    }
    return {QDir::cleanPath(folder), {}};
}

} // namespace lb
