#include "net/HttpHeader.h"

#include "common/AsciiText.h"

namespace lb::net {

namespace {

bool isDigitByte(char c) {
    return c >= '0' && c <= '9';
}

// The blanks QString::trimmed drops, on Latin-1 bytes.
bool isLatin1Space(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u == ' ' || (u >= '\t' && u <= '\r') || u == 0x85 || u == 0xa0;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isLatin1Space(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isLatin1Space(s.back()))
        s.remove_suffix(1);
    return s;
}

// A run of 1 to `most` digits, as a number.
std::optional<qint64> digitsValue(std::string_view s, size_t most) {
    if (s.empty() || s.size() > most)
        return std::nullopt;
    qint64 n = 0;
    for (char c : s) {
        if (!isDigitByte(c))
            return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

} // namespace

StatusLine parseStatusLine(std::string_view line) {
    const std::string_view code = line.size() > 9 ? trimmed(line.substr(9, 3)) : std::string_view();
    const std::optional<qint64> n = digitsValue(code, 3);
    if (!n)
        return {404, QStringLiteral("Invalid status line")};
    StatusLine s;
    s.code = int(*n);
    if (line.size() > 13)
        s.phrase = QString::fromLatin1(line.data() + 13, qsizetype(line.size() - 13));
    return s;
}

std::optional<qint64> parseContentLength(std::string_view value) {
    return digitsValue(trimmed(value), 18);
}

void parseContentRange(const QString& value, QString& begin, QString& end) {
    const QString rest = value.mid(6); // after "bytes "
    const qsizetype dash = rest.indexOf(QLatin1Char('-'));
    if (dash < 0) {
        begin = rest;
        end.clear();
        return;
    }
    begin = rest.left(dash);
    const qsizetype slash = rest.indexOf(QLatin1Char('/'), dash + 1);
    end = slash < 0 ? rest.mid(dash + 1) : rest.mid(dash + 1, slash - dash - 1);
}

bool splitHeaderField(std::string_view line, std::string_view& name, std::string_view& value) {
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return false;
    name = line.substr(0, colon);
    size_t v = colon + 1;
    while (v < line.size() && (line[v] == ' ' || line[v] == '\t'))
        ++v;
    value = line.substr(v);
    return true;
}

QString lowerLatin1(std::string_view text) {
    QString out(qsizetype(text.size()), Qt::Uninitialized);
    char16_t* d = reinterpret_cast<char16_t*>(out.data());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80)
            return QString::fromLatin1(text.data(), qsizetype(text.size())).toLower();
        d[i] = char16_t(asciiLower(char(c)));
    }
    return out;
}

} // namespace lb::net
