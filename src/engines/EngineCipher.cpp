#include "engines/EngineCipher.h"

namespace lb {

static inline std::uint16_t nextKey(std::uint16_t key, unsigned char cipherByte) {
    return std::uint16_t((std::uint32_t(key) + cipherByte) * EngineCipherC1 + EngineCipherC2);
}

QByteArray encipherEngineText(const QByteArray& plain) {
    QByteArray out(plain.size(), Qt::Uninitialized);
    std::uint16_t key = EngineFileKey;
    const auto* in = reinterpret_cast<const unsigned char*>(plain.constData());
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    for (qsizetype i = 0; i < plain.size(); ++i) {
        const unsigned char c = in[i] ^ static_cast<unsigned char>(key >> 8);
        o[i] = c;
        key = nextKey(key, c);
    }
    return out;
}

QByteArray decipherEngineText(const QByteArray& cipher) {
    QByteArray out(cipher.size(), Qt::Uninitialized);
    std::uint16_t key = EngineFileKey;
    const auto* in = reinterpret_cast<const unsigned char*>(cipher.constData());
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    for (qsizetype i = 0; i < cipher.size(); ++i) {
        const unsigned char c = in[i];
        o[i] = c ^ static_cast<unsigned char>(key >> 8);
        key = nextKey(key, c);
    }
    return out;
}

} // namespace lb
