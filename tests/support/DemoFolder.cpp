#include "support/DemoFolder.h"

#include "engines/EngineCipher.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace lb::test {

bool copyBundledFolder(const QString& to, quint16 port) {
    const QString from = QStringLiteral(LB_PROGRAMFOLDER);
    const QByteArray bundled = "127.0.0.1:8642";
    const QByteArray local = "127.0.0.1:" + QByteArray::number(port);
    QDirIterator it(from, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString src = it.next();
        const QString rel = QDir(from).relativeFilePath(src);
        const QString dst = QDir(to).filePath(rel);
        if (!QDir().mkpath(QFileInfo(dst).absolutePath()))
            return false;
        QFile in(src);
        if (!in.open(QIODevice::ReadOnly))
            return false;
        QByteArray bytes = in.readAll();
        if (rel.endsWith(QLatin1String(".hlz"), Qt::CaseInsensitive) ||
            rel.endsWith(QLatin1String(".chc"), Qt::CaseInsensitive))
            bytes = encipherEngineText(decipherEngineText(bytes).replace(bundled, local));
        else if (!rel.endsWith(QLatin1String(".bmp")) && !rel.endsWith(QLatin1String(".ico")) &&
                 !rel.endsWith(QLatin1String(".jpg")))
            bytes.replace(bundled, local);
        QFile out(dst);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
            return false;
    }
    return QDir().mkpath(QDir(to).filePath(QStringLiteral("reports")));
}

} // namespace lb::test
