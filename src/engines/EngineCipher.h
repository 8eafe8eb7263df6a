#pragma once
// The running-key cipher of engine files, custom ".CHC" databases, FFA lists
// and the batch sites' page lists. The key starts afresh for every file and
// is always advanced with the enciphered byte; output has the input's length.
#include <QByteArray>
#include <cstdint>

namespace lb {

constexpr std::uint16_t EngineFileKey = 5861;
constexpr std::uint16_t EngineCipherC1 = 7946;
constexpr std::uint16_t EngineCipherC2 = 37052;

QByteArray encipherEngineText(const QByteArray& plain);
QByteArray decipherEngineText(const QByteArray& cipher);

} // namespace lb
