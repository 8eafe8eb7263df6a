#pragma once
// The store's section cipher and its password check value.
#include <QByteArray>
#include <QtGlobal>

namespace lb::qdb {

// Sections are enciphered in chunks of this size, counted from the section's
// start; the keystream restarts at every chunk.
constexpr qint64 ChunkSize = 524288;

// K: SHA-1 of the password bytes.
QByteArray passwordKey(const QByteArray& password);
// The 20-byte check value written after "QPW": SHA-1 of K.
QByteArray passwordCheck(const QByteArray& password);
// The XOR of K's five little-endian words: where each chunk's keystream starts.
quint32 keystreamSeed(const QByteArray& key);

// Enciphers or deciphers one chunk in place (the operation is its own inverse).
void cipherChunk(char* data, qint64 size, quint32 seed);
// A whole section held in memory, chunk by chunk.
void cipherSection(char* data, qint64 size, quint32 seed);

} // namespace lb::qdb
