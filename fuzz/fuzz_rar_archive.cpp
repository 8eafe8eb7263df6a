// Any bytes as a downloaded update archive: testing and unpacking must
// neither crash nor create anything outside the target folder.
#include "update/TRAR.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    const QString archive = dir.filePath(QStringLiteral("a.rar"));
    const QString target = dir.filePath(QStringLiteral("t"));
    QDir(target).removeRecursively();
    {
        QFile f(archive);
        if (!f.open(QIODevice::WriteOnly))
            std::abort();
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
        if (name != QLatin1String("a.rar") && name != QLatin1String("t"))
            std::abort(); // something landed beside the target folder
    return 0;
}
