#pragma once
// Text files of the command line: read as UTF-8 (Latin-1 where the bytes are
// not valid UTF-8), written as UTF-8; and the one-line failure message.
#include <QByteArray>
#include <QString>

namespace lb::cli {

// Reads the whole file; a byte-order mark stays in the text as a character.
bool readTextFile(const QString& path, QString& text);
bool writeBytesFile(const QString& path, const QByteArray& bytes);
// Prints the line on standard error and returns exit code 1.
int failLine(const QString& line);

} // namespace lb::cli
