#pragma once
// Reads the block headers of a RAR 4 archive without unpacking anything: the
// per-entry header record (with the CRC32 of the entry's data, which the
// unpacking library keeps to itself for stored entries), where each entry's
// data lies, and whether the header chain is sound.
#include <cstdint>
#include <QByteArray>
#include <QFile>
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

// Walks the block headers of a RAR 4 archive one file entry at a time and
// keeps only the entry at hand, so an archive of a million entries costs no
// more memory than one of a single entry.
class RarHeaderReader {
public:
    // Opens the archive and reads up to its first file entry.
    explicit RarHeaderReader(const QString& archivePath);

    // Result code of opening (0 when the archive opened).
    int openError() const { return m_openError; }
    // The archive comment (a stored "CMT" sub-block before the first entry),
    // at most 65535 bytes.
    bool hasComment() const { return m_hasComment; }
    const QByteArray& comment() const { return m_comment; }

    // The next file entry; false when the header chain has ended.
    bool next(RarFileEntry& entry);
    // Once next() is false: 0 when the chain ended cleanly, else the code
    // that ended it.
    int endError() const { return m_endError; }

private:
    // Reads blocks until the next file entry (into m_pending) or the end.
    void advance();
    void fail(int code);

    QString m_path;
    QFile m_file;
    qint64 m_size = 0;
    qint64 m_pos = 0;
    bool m_mainSeen = false;
    bool m_fileSeen = false;
    bool m_ended = false;
    bool m_havePending = false;
    RarFileEntry m_pending;
    int m_openError = 0;
    int m_endError = 0;
    bool m_hasComment = false;
    QByteArray m_comment;
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

// The name as people see it: "\" shown as "/".
QString shownEntryName(const QString& storedName);

} // namespace lb
