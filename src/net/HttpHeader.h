#pragma once
// Reading the lines of an HTTP answer header. Lines come as Latin-1 bytes
// without their line end.
#include <QString>

#include <optional>
#include <string_view>

namespace lb::net {

struct StatusLine {
    int code = 0;
    QString phrase;
};

// "HTTP/1.x NNN Phrase": the code is what stands in columns 10 to 12, blanks
// around it ignored; the phrase starts at column 14. Without a number there
// the answer cannot be judged: 404 "Invalid status line".
StatusLine parseStatusLine(std::string_view line);

// A Content-Length value: up to 18 digits, blanks around them ignored.
std::optional<qint64> parseContentLength(std::string_view value);

// "bytes B-E/L" of a Content-Range value: B, and E without the total.
void parseContentRange(const QString& value, QString& begin, QString& end);

// One "Name: value" line: the name and the value without the blanks
// after the colon. False for a line without a colon.
bool splitHeaderField(std::string_view line, std::string_view& name, std::string_view& value);

// The Latin-1 text lower-cased as QString::toLower does.
QString lowerLatin1(std::string_view text);

} // namespace lb::net
