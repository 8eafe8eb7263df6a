#pragma once
// Engine database files: enciphered (data.hlz, engines.hlz, *.CHC) or plain
// text (CR LF between lines). Loading reads the whole file before it touches
// the list, so a file that cannot be opened leaves the list as it was.
#include "engines/EngineLines.h"

#include <QStringList>

namespace lb {

// Throws FileError "Cannot open file " + path.
void LoadEngineFile(const QString& path, EngineLines& target);
void LoadEngineFile(const QString& path, QStringList& target); // file order kept
void loadPlainEngineFile(const QString& path, EngineLines& target);

// Throws FileError "Unable to write to " + path; the old file stays intact then.
void SaveEngineFile(const EngineLines& source, const QString& path);
void SaveEngineFile(const QStringList& source, const QString& path);
void savePlainEngineFile(const EngineLines& source, const QString& path);

// Lines of an engine text; blank lines carry no engine and are left out.
QStringList engineTextLines(const QByteArray& text);

} // namespace lb
