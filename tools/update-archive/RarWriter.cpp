#include "RarWriter.h"

#include <array>
#include <fstream>

namespace rarwriter {

namespace {

// Header flags and block types of the RAR 4 format.
constexpr std::uint8_t kMainHead = 0x73;
constexpr std::uint8_t kFileHead = 0x74;
constexpr std::uint8_t kEndHead = 0x7b;
constexpr std::uint8_t kSubHead = 0x7a;
constexpr std::uint16_t kLongBlock = 0x8000;
constexpr std::uint16_t kLargeSizes = 0x0100;
constexpr std::uint16_t kEncrypted = 0x0004;
constexpr std::uint16_t kDirectory = 0x00e0;
constexpr std::uint8_t kHostWin32 = 2;
constexpr std::uint8_t kHostUnix = 3;
constexpr std::uint8_t kStored = 0x30;
// 2026-01-02 03:04:06 as an MS-DOS date and time.
constexpr std::uint32_t kDosTime =
    (46u << 25) | (1u << 21) | (2u << 16) | (3u << 11) | (4u << 5) | 3u;

const std::array<std::uint32_t, 256>& crcTable() {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    return table;
}

void put16(std::string& s, std::uint32_t v) {
    s.push_back(char(v & 0xff));
    s.push_back(char((v >> 8) & 0xff));
}
void put32(std::string& s, std::uint32_t v) {
    put16(s, v & 0xffff);
    put16(s, v >> 16);
}

// HEAD_CRC is the low half of the CRC32 of the header from HEAD_TYPE on.
void sealHeader(std::string& header, bool wrong) {
    std::uint32_t crc = rarCrc32(header.data() + 2, header.size() - 2) & 0xffff;
    if (wrong)
        crc ^= 0x5a5a;
    header[0] = char(crc & 0xff);
    header[1] = char(crc >> 8);
}

std::string markerAndMainHeader() {
    std::string s("Rar!\x1a\x07\x00", 7);
    std::string main;
    put16(main, 0);
    main.push_back(char(kMainHead));
    put16(main, 0);
    put16(main, 13);
    put16(main, 0);
    put32(main, 0);
    sealHeader(main, false);
    return s + main;
}

std::string fileHeader(const RarEntry& given) {
    RarEntry e = given;
    const bool comment = e.kind == RarEntry::Kind::Comment;
    if (comment) {
        e.name = "CMT";
        e.kind = RarEntry::Kind::File;
    }
    const bool isDir = e.kind == RarEntry::Kind::Directory;
    const std::uint64_t size =
        e.claimedSize >= 0 ? std::uint64_t(e.claimedSize) : std::uint64_t(e.data.size());
    const std::uint64_t unpSize = e.claimedUnpSize >= 0 ? std::uint64_t(e.claimedUnpSize) : size;
    const bool large = size > 0xffffffffu || unpSize > 0xffffffffu;
    std::uint16_t flags = kLongBlock;
    if (large)
        flags |= kLargeSizes;
    if (e.encrypted)
        flags |= kEncrypted;
    if (isDir)
        flags |= kDirectory;
    std::uint32_t crc = isDir ? 0 : rarCrc32(e.data.data(), e.data.size());
    if (e.wrongCrc)
        crc ^= 0x00010000u;

    const bool unix = e.unixHost || (e.kind != RarEntry::Kind::File && !isDir);
    std::uint32_t attr = 0;
    if (unix) {
        switch (e.kind) {
        case RarEntry::Kind::File:
        case RarEntry::Kind::Comment:
            attr = 0100644;
            break;
        case RarEntry::Kind::Directory:
            attr = 040755;
            break;
        case RarEntry::Kind::Symlink:
            attr = 0120777;
            break;
        case RarEntry::Kind::Fifo:
            attr = 010644;
            break;
        case RarEntry::Kind::Device:
            attr = 020644;
            break;
        }
    } else {
        attr = isDir ? 0x10 : 0x20;
    }

    std::string h;
    put16(h, 0);
    h.push_back(char(comment ? kSubHead : kFileHead));
    put16(h, flags);
    put16(h, std::uint32_t(32 + (large ? 8 : 0) + e.name.size()));
    put32(h, std::uint32_t(size & 0xffffffffu));    // PACK_SIZE
    put32(h, std::uint32_t(unpSize & 0xffffffffu)); // UNP_SIZE
    h.push_back(char(unix ? kHostUnix : kHostWin32));
    put32(h, crc);
    put32(h, kDosTime);
    h.push_back(char(20)); // version needed to unpack: 2.0
    h.push_back(char(kStored));
    put16(h, std::uint32_t(e.name.size()));
    put32(h, attr);
    if (large) {
        put32(h, std::uint32_t(size >> 32));
        put32(h, std::uint32_t(unpSize >> 32));
    }
    h += e.name;
    sealHeader(h, e.wrongHeaderCrc);
    return h;
}

std::string endBlockBytes() {
    std::string h;
    put16(h, 0);
    h.push_back(char(kEndHead));
    put16(h, 0x4000);
    put16(h, 7);
    sealHeader(h, false);
    return h;
}

} // namespace

std::uint32_t rarCrc32(const void* data, std::size_t len, std::uint32_t crc) {
    const auto& t = crcTable();
    const auto* p = static_cast<const unsigned char*>(data);
    crc = ~crc;
    for (std::size_t i = 0; i < len; ++i)
        crc = t[(crc ^ p[i]) & 0xff] ^ (crc >> 8);
    return ~crc;
}

std::string rarArchive(const std::vector<RarEntry>& entries, bool endBlock) {
    std::string out = markerAndMainHeader();
    for (const RarEntry& e : entries) {
        out += fileHeader(e);
        if (e.kind != RarEntry::Kind::Directory)
            out += e.data;
    }
    if (endBlock)
        out += endBlockBytes();
    return out;
}

bool writeRarArchive(const std::string& path, const std::vector<RarEntry>& entries, bool endBlock) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string bytes = rarArchive(entries, endBlock);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    return !out.fail();
}

} // namespace rarwriter
