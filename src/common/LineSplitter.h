#pragma once
// Splits text into lines the way every list in the program loads: CR LF, a
// lone CR and a lone LF each end a line, and a zero byte ends the text.
// A final line without a line end is kept; a line end at the very end does
// not add an empty line.
#include <QByteArray>
#include <QList>
#include <QStringList>

namespace lb {

QList<QByteArray> splitLineBytes(const QByteArray& text);
QStringList splitLines(const QByteArray& text); // each line decoded by decodeText
QStringList splitLines(const QString& text);

// The list's text as the program writes it: lines joined with CR LF and a
// CR LF after the last line (nothing for an empty list).
QByteArray joinLinesCrLf(const QStringList& lines);

} // namespace lb
