#include "common/LineSplitter.h"

#include "common/AsciiText.h"

namespace lb {

QList<QByteArray> splitLineBytes(const QByteArray& text) {
    QList<QByteArray> lines;
    const char* p = text.constData();
    const qsizetype n = text.size();
    qsizetype start = 0;
    qsizetype i = 0;
    for (; i < n; ++i) {
        const char c = p[i];
        if (c == '\0')
            break;
        if (c == '\r' || c == '\n') {
            lines.append(QByteArray(p + start, i - start));
            if (c == '\r' && i + 1 < n && p[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (i > start)
        lines.append(QByteArray(p + start, i - start));
    return lines;
}

QStringList splitLines(const QByteArray& text) {
    QStringList out;
    const QList<QByteArray> raw = splitLineBytes(text);
    out.reserve(raw.size());
    for (const QByteArray& line : raw)
        out.append(decodeText(line));
    return out;
}

QStringList splitLines(const QString& text) {
    QStringList lines;
    const QChar* p = text.constData();
    const qsizetype n = text.size();
    qsizetype start = 0;
    qsizetype i = 0;
    for (; i < n; ++i) {
        const char16_t c = p[i].unicode();
        if (c == 0)
            break;
        if (c == '\r' || c == '\n') {
            lines.append(QString(p + start, i - start));
            if (c == '\r' && i + 1 < n && p[i + 1].unicode() == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (i > start)
        lines.append(QString(p + start, i - start));
    return lines;
}

QByteArray joinLinesCrLf(const QStringList& lines) {
    QByteArray out;
    qsizetype total = 0;
    for (const QString& l : lines)
        total += l.size() + 2;
    out.reserve(total);
    for (const QString& l : lines) {
        out.append(l.toUtf8());
        out.append("\r\n", 2);
    }
    return out;
}

} // namespace lb
