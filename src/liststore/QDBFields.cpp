#include "liststore/QDBFields.h"

#include <QtEndian>

namespace lb::qdb {

QByteArray packFields(const QList<QByteArray>& fields) {
    QByteArray out;
    qsizetype total = 0;
    for (const QByteArray& f : fields)
        total += 4 + f.size();
    out.reserve(total);
    for (const QByteArray& f : fields) {
        char len[4];
        qToLittleEndian<qint32>(qint32(f.size()), len);
        out.append(len, 4);
        out.append(f);
    }
    return out;
}

std::optional<QList<QByteArray>> unpackFields(const QByteArray& body) {
    QList<QByteArray> fields;
    const qsizetype n = body.size();
    qsizetype pos = 0;
    while (pos < n) {
        if (n - pos < 4)
            return std::nullopt;
        const qint32 len = qFromLittleEndian<qint32>(body.constData() + pos);
        pos += 4;
        if (len <= 0) {
            fields.append(QByteArray());
            continue;
        }
        if (qint64(len) > n - pos)
            return std::nullopt;
        fields.append(body.mid(pos, len));
        pos += len;
    }
    return fields;
}

bool booleanValue(const QByteArray& body) {
    QByteArray v = body;
    if (const auto fields = unpackFields(body); fields && !fields->isEmpty())
        v = fields->first();
    while (v.endsWith('\0'))
        v.chop(1);
    if (v == QByteArray("\x01", 1))
        return true;
    const QByteArray t = v.trimmed().toLower();
    return t == "1" || t == "-1" || t == "true" || t == "yes";
}

} // namespace lb::qdb
