#include "cli/TextFiles.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

#include <cstdio>

namespace lb::cli {

bool readTextFile(const QString& path, QString& text) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = f.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    return true;
}

bool writeBytesFile(const QString& path, const QByteArray& bytes) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    if (f.write(bytes) != bytes.size())
        return false;
    return f.commit();
}

int failLine(const QString& line) {
    std::fprintf(stderr, "%s\n", line.toUtf8().constData());
    return 1;
}

} // namespace lb::cli
