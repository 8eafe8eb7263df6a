// Any bytes as a downloaded update archive: testing and unpacking must
// neither crash nor create anything outside the target folder, and inside it
// only folders and plain files (never a link that could lead out).
#include "FuzzCheck.h"
#include "update/TRAR.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdint>

namespace {

// Only `allowed` may lie in folder.
bool holdsOnly(const QString& folder, const QString& allowed) {
    const QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden |
                                                     QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names)
        if (name != allowed)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // In memory, and the target two levels down, so "..\..\x" escapes are seen.
    static QTemporaryDir dir(QStringLiteral("/dev/shm/lb-fuzz-rararc-XXXXXX"));
    const QString archive = dir.filePath(QStringLiteral("a.rar"));
    const QString outer = dir.filePath(QStringLiteral("o"));
    const QString inner = outer + QStringLiteral("/i");
    const QString target = inner + QStringLiteral("/t");
    QDir(outer).removeRecursively();
    FUZZ_CHECK(QDir().mkpath(inner));
    {
        QFile f(archive);
        FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    lb::TRAR rar;
    rar.ArchiveName = archive;
    rar.TargetDir = target;
    rar.OnProcessData = [](lb::TRAR*, const char*, int, qint64) { return 1; };
    rar.Test();
    rar.Extract();

    const QStringList top =
        QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : top)
        FUZZ_CHECK(name == QLatin1String("a.rar") || name == QLatin1String("o"));
    FUZZ_CHECK(holdsOnly(outer, QStringLiteral("i")));
    FUZZ_CHECK(holdsOnly(inner, QStringLiteral("t")));
    QDirIterator it(target, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    for (int n = 0; it.hasNext() && n < 10000; ++n) {
        const QFileInfo info(it.nextFileInfo());
        FUZZ_CHECK(!info.isSymLink() && (info.isDir() || info.isFile()));
    }
    return 0;
}
