#pragma once
// LZ77 compression of item bodies: a 4096-byte window, matches of 3 to 18
// bytes, candidates found through a 4096-entry hash of the next three bytes.
//
// Layout: the expanded length (32-bit little-endian), then groups of a
// 16-bit little-endian control word and up to 16 items. Control bit i (low
// bit first) set: item i is a match, two bytes holding (distance << 4) |
// (length - 3) little-endian, distance 1..4095; clear: one literal byte.
#include <optional>
#include <QByteArray>

namespace lb::qdb {

QByteArray compress(const QByteArray& data);
// Nothing when the bytes are not a valid compressed body.
std::optional<QByteArray> expand(const QByteArray& packed);

} // namespace lb::qdb
