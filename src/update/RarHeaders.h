#pragma once
// Reads the block headers of a RAR 4 archive without unpacking anything: the
// per-entry header record (with the CRC32 of the entry's data, which the
// unpacking library keeps to itself for stored entries), where each entry's
// data lies, and whether the header chain is sound.
#include <cstdint>
#include <QByteArray>
#include <QList>
#include <QString>

namespace lb {

// The per-entry header record handed to the archive component's events.
struct RARHeaderData {
    QString ArcName;
    QString FileName; // as stored, "\" between folders
    std::uint32_t Flags = 0;
    std::uint64_t PackSize = 0;
    std::uint64_t UnpSize = 0;
    std::uint32_t HostOS = 0;
    std::uint32_t FileCRC = 0;
    std::uint32_t FileTime = 0; // MS-DOS date and time
    std::uint32_t UnpVer = 0;
    std::uint32_t Method = 0;
    std::uint32_t FileAttr = 0;
};

struct RarFileEntry {
    enum class Type { Regular, Directory, Other };

    RARHeaderData header;
    Type type = Type::Regular;
    bool encrypted = false;
    bool unicodeName = false; // the stored name needs the library's decoding
    std::uint64_t dataOffset = 0;
    bool truncated = false; // the archive ends inside this entry's data
};

struct RarHeaderScan {
    // Result codes of opening (0 when the archive opened).
    int openError = 0;
    QList<RarFileEntry> files;
    // 0 when the header chain ended cleanly, else the code that ended it.
    int endError = 0;
    // The archive comment (a stored "CMT" sub-block), at most 65535 bytes.
    bool hasComment = false;
    QByteArray comment;
};

// Published result codes of the extraction library.
namespace RarCode {
constexpr int Success = 0;
constexpr int NoMemory = 11;
constexpr int BadData = 12;
constexpr int BadArchive = 13;
constexpr int UnknownFormat = 14;
constexpr int OpenFailed = 15;
constexpr int CreateFailed = 16;
constexpr int ReadFailed = 18;
constexpr int WriteFailed = 19;
constexpr int Unknown = 21;
constexpr int MissingPassword = 22;
constexpr int NoLibrary = 50;
} // namespace RarCode

RarHeaderScan scanRarHeaders(const QString& archivePath);

// The name as people see it: "\" shown as "/".
QString shownEntryName(const QString& storedName);

} // namespace lb
