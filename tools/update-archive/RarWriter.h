#pragma once
// Writes RAR 4 archives with stored (uncompressed) entries: the fixtures of
// the archive and updater tests, the sample update archive of target-sim and
// the benchmark archives. Plain C++, so build tools can use it without Qt.
// Each entry can carry a deliberate fault, so tests can build broken archives.
#include <cstdint>
#include <string>
#include <vector>

namespace rarwriter {

struct RarEntry {
    // Comment: the archive comment, a stored "CMT" sub-block (name and kind ignored).
    enum class Kind { File, Directory, Symlink, Fifo, Device, Comment };

    std::string name; // stored bytes; Windows archivers separate folders with "\"
    std::string data; // the content (the link target for a symbolic link)
    Kind kind = Kind::File;
    bool unixHost = false; // host OS Unix (mode bits in the attributes) instead of Win32

    // Faults.
    bool wrongCrc = false;       // FILE_CRC does not match the data
    bool wrongHeaderCrc = false; // HEAD_CRC does not match the header
    bool encrypted = false;      // flag 0x04 set (the data is not really enciphered)
    int64_t claimedSize = -1;    // PACK_SIZE/UNP_SIZE to write instead of the real size
    int64_t claimedUnpSize = -1; // UNP_SIZE alone to write instead
};

std::uint32_t rarCrc32(const void* data, std::size_t len, std::uint32_t crc = 0);

// The whole archive in memory. With endBlock false the end-of-archive block
// is left out (older archivers wrote none).
std::string rarArchive(const std::vector<RarEntry>& entries, bool endBlock = true);
// Writes it to a file; false when the file cannot be written.
bool writeRarArchive(const std::string& path, const std::vector<RarEntry>& entries,
                     bool endBlock = true);

} // namespace rarwriter
