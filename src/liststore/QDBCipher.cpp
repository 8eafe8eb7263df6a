#include "liststore/QDBCipher.h"

#include <QCryptographicHash>
#include <QtEndian>

namespace lb::qdb {

QByteArray passwordKey(const QByteArray& password) {
    return QCryptographicHash::hash(password, QCryptographicHash::Sha1);
}

QByteArray passwordCheck(const QByteArray& password) {
    return QCryptographicHash::hash(passwordKey(password), QCryptographicHash::Sha1);
}

quint32 keystreamSeed(const QByteArray& key) {
    quint32 s = 0;
    for (int i = 0; i + 4 <= key.size() && i < 20; i += 4)
        s ^= qFromLittleEndian<quint32>(key.constData() + i);
    return s;
}

void cipherChunk(char* data, qint64 size, quint32 seed) {
    quint32 s = seed;
    qint64 i = 0;
    for (; i + 4 <= size; i += 4) {
        s = s * 1664525u + 1013904223u;
        const quint32 w = qFromLittleEndian<quint32>(data + i) ^ s;
        qToLittleEndian<quint32>(w, data + i);
    }
    for (; i < size; ++i) {
        s = s * 1664525u + 1013904223u;
        data[i] = char(quint8(data[i]) ^ quint8(s & 0xFF));
    }
}

void cipherSection(char* data, qint64 size, quint32 seed) {
    for (qint64 at = 0; at < size; at += ChunkSize)
        cipherChunk(data + at, qMin(ChunkSize, size - at), seed);
}

} // namespace lb::qdb
