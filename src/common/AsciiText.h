#pragma once
// ASCII-only case helpers: upper-casing a copy never changes its length, so
// offsets found in the copy are valid in the original.
#include <QByteArray>
#include <QString>

#include <string_view>

namespace lb {

inline char asciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 32) : c;
}
inline char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
}

QByteArray asciiUpper(const QByteArray& text);
QString asciiUpper(const QString& text);
QByteArray asciiLower(const QByteArray& text);
QString asciiLower(const QString& text);

// Compares two strings ignoring the case of ASCII letters only.
bool asciiEqualsIgnoreCase(QStringView a, QStringView b);
int asciiCompareIgnoreCase(QStringView a, QStringView b);
// The same for bytes (ASCII or Latin-1: bytes from 0x80 up never fold).
inline bool asciiEqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    return true;
}

// UTF-8 when the bytes are valid UTF-8, otherwise Latin-1 (older files).
QString decodeText(const QByteArray& bytes);

} // namespace lb
