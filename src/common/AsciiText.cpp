#include "common/AsciiText.h"

#include <QStringDecoder>

namespace lb {

QByteArray asciiUpper(const QByteArray& text) {
    QByteArray out(text);
    for (char& c : out)
        c = asciiUpper(c);
    return out;
}

QByteArray asciiLower(const QByteArray& text) {
    QByteArray out(text);
    for (char& c : out)
        c = asciiLower(c);
    return out;
}

QString asciiUpper(const QString& text) {
    QString out(text);
    for (QChar& c : out)
        if (c.unicode() >= 'a' && c.unicode() <= 'z')
            c = QChar(c.unicode() - 32);
    return out;
}

QString asciiLower(const QString& text) {
    QString out(text);
    for (QChar& c : out)
        if (c.unicode() >= 'A' && c.unicode() <= 'Z')
            c = QChar(c.unicode() + 32);
    return out;
}

static inline char16_t foldAscii(char16_t c) {
    return (c >= 'a' && c <= 'z') ? char16_t(c - 32) : c;
}

int asciiCompareIgnoreCase(QStringView a, QStringView b) {
    const qsizetype n = qMin(a.size(), b.size());
    const QChar* pa = a.data();
    const QChar* pb = b.data();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ca = foldAscii(pa[i].unicode());
        const char16_t cb = foldAscii(pb[i].unicode());
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool asciiEqualsIgnoreCase(QStringView a, QStringView b) {
    return a.size() == b.size() && asciiCompareIgnoreCase(a, b) == 0;
}

QString decodeText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

} // namespace lb
