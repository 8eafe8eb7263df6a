#include "update/Crc32.h"

#include <array>

namespace lb {

namespace {

// Slicing-by-4 tables: the unpacker checks every byte of every entry.
struct Tables {
    std::array<std::array<std::uint32_t, 256>, 4> t{};
    Tables() {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
            t[0][i] = c;
        }
        for (std::uint32_t i = 0; i < 256; ++i)
            for (int s = 1; s < 4; ++s)
                t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xff];
    }
};

const Tables& tables() {
    static const Tables tabs;
    return tabs;
}

} // namespace

void Crc32::update(const void* data, std::size_t len) {
    const auto& t = tables().t;
    const auto* p = static_cast<const unsigned char*>(data);
    std::uint32_t c = m_crc;
    while (len >= 4) {
        c ^= std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
             std::uint32_t(p[3]) << 24;
        c = t[3][c & 0xff] ^ t[2][(c >> 8) & 0xff] ^ t[1][(c >> 16) & 0xff] ^ t[0][c >> 24];
        p += 4;
        len -= 4;
    }
    while (len--)
        c = (c >> 8) ^ t[0][(c ^ *p++) & 0xff];
    m_crc = c;
}

std::uint32_t Crc32::of(const void* data, std::size_t len) {
    Crc32 c;
    c.update(data, len);
    return c.value();
}

} // namespace lb
