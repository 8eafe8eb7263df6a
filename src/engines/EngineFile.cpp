#include "engines/EngineFile.h"

#include "common/AsciiText.h"
#include "common/FileError.h"
#include "common/LineSplitter.h"
#include "engines/EngineCipher.h"

#include <QFile>
#include <QSaveFile>

namespace lb {

static QByteArray readWhole(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError::cannotOpen(path);
    return file.readAll();
}

static void writeWhole(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw FileError::cannotWrite(path);
}

QStringList engineTextLines(const QByteArray& text) {
    // One decode of the whole text: far cheaper than one per line.
    QStringList lines = splitLines(decodeText(text));
    lines.removeIf([](const QString& l) { return l.isEmpty(); });
    return lines;
}

void LoadEngineFile(const QString& path, EngineLines& target) {
    target.setLines(engineTextLines(decipherEngineText(readWhole(path))));
}

void LoadEngineFile(const QString& path, QStringList& target) {
    target = engineTextLines(decipherEngineText(readWhole(path)));
}

void loadPlainEngineFile(const QString& path, EngineLines& target) {
    target.setLines(engineTextLines(readWhole(path)));
}

void SaveEngineFile(const EngineLines& source, const QString& path) {
    SaveEngineFile(source.lines(), path);
}

void SaveEngineFile(const QStringList& source, const QString& path) {
    writeWhole(path, encipherEngineText(joinLinesCrLf(source)));
}

void savePlainEngineFile(const EngineLines& source, const QString& path) {
    writeWhole(path, joinLinesCrLf(source.lines()));
}

} // namespace lb
