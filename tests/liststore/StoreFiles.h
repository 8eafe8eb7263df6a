#pragma once
// Helpers for list store tests: an independent writer of store files laid out
// field by field.
#include "liststore/QDB.h"
#include "support/Files.h"
#include "support/Thrown.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QList>
#include <QString>

#include <functional>

namespace lb::test {

// A newly created store: empty data and index sections.
inline const QByteArray FreshStore("QDB\0\0\0\0\0QIX\0\x05\0\0\0\0\0\0\0\0", 21);

// The message of the store error f throws.
inline QString messageOf(const std::function<void()>& f) {
    return thrownMessage<EQDBError>(f);
}

inline QByteArray u32(quint32 v) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char((v >> (8 * i)) & 0xFF);
    return b;
}

// The section cipher written out plainly, byte by byte, to check the store's
// word-wise one against: K's words little-endian, chunks of 524288 bytes,
// the keystream restarting at every chunk.
inline void referenceCipher(QByteArray& section, const QByteArray& password) {
    const QByteArray k = QCryptographicHash::hash(password, QCryptographicHash::Sha1);
    quint32 seed = 0;
    for (int w = 0; w < 5; ++w)
        seed ^= quint32(quint8(k[4 * w])) | quint32(quint8(k[4 * w + 1])) << 8 |
                quint32(quint8(k[4 * w + 2])) << 16 | quint32(quint8(k[4 * w + 3])) << 24;
    const qsizetype chunk = 524288;
    for (qsizetype start = 0; start < section.size(); start += chunk) {
        const qsizetype end = qMin(section.size(), start + chunk);
        quint32 s = seed;
        qsizetype i = start;
        for (; i + 4 <= end; i += 4) {
            s = s * 1664525u + 1013904223u;
            for (int b = 0; b < 4; ++b)
                section[i + b] = char(quint8(section[i + b]) ^ quint8(s >> (8 * b)));
        }
        for (; i < end; ++i) {
            s = s * 1664525u + 1013904223u;
            section[i] = char(quint8(section[i]) ^ quint8(s));
        }
    }
}

struct RawEntry {
    QByteArray key;
    quint32 position;
    quint32 length;
    quint32 flags = 0;
};

// A store file built from its parts; entries are written in the order given.
inline QByteArray buildStore(const QByteArray& data, const QList<RawEntry>& entries,
                             const QByteArray& password = QByteArray(),
                             const QByteArray& indexTail = QByteArray(1, '\0')) {
    QByteArray index = u32(quint32(entries.size()));
    for (const RawEntry& e : entries)
        index += char(e.key.size()) + e.key + u32(e.position) + u32(e.length) + u32(e.flags);
    index += indexTail;
    QByteArray d = data;
    QByteArray out("QDB\0", 4);
    if (!password.isEmpty()) {
        out += QByteArray("QPW\0", 4);
        out += QCryptographicHash::hash(
            QCryptographicHash::hash(password, QCryptographicHash::Sha1), QCryptographicHash::Sha1);
        referenceCipher(d, password);
        referenceCipher(index, password);
    }
    out += u32(quint32(d.size())) + d + QByteArray("QIX\0", 4) + u32(quint32(index.size())) + index;
    return out;
}

// Typed fields: 32-bit length and bytes each.
inline QByteArray fieldsBody(const QList<QByteArray>& fields) {
    QByteArray b;
    for (const QByteArray& f : fields)
        b += u32(quint32(f.size())) + f;
    return b;
}

} // namespace lb::test
