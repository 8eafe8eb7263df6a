#pragma once
// CRC-32 (IEEE 802.3, reflected, as zip and RAR use it), fed in pieces.
#include <cstddef>
#include <cstdint>

namespace lb {

class Crc32 {
public:
    void update(const void* data, std::size_t len);
    std::uint32_t value() const { return ~m_crc; }
    static std::uint32_t of(const void* data, std::size_t len);

private:
    std::uint32_t m_crc = 0xFFFFFFFFu;
};

} // namespace lb
