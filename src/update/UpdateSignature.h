#pragma once
// Signed updates: the archive's 64-byte Ed25519 signature, checked against
// the publisher keys the program folder already holds (data/update.pub, one
// base64 key of 32 bytes per line). Keys travel with the program, never with
// the update, so someone on the path can replace the archive but not sign it.
#include <QByteArray>
#include <QList>
#include <QString>

namespace lb {

// The keys of a key file's text: LF or CR LF lines; blank lines and lines
// starting with "#" are ignored, and so is a line that is not the base64 of
// exactly 32 bytes.
QList<QByteArray> parseTrustedKeys(const QByteArray& text);

// True when signature (exactly 64 bytes) is the Ed25519 signature of the
// whole file by one of the keys.
bool signedByTrustedKey(const QString& filePath, const QByteArray& signature,
                        const QList<QByteArray>& keys);

} // namespace lb
