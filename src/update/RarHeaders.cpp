#include "update/RarHeaders.h"

#include "update/Crc32.h"

#include <QFile>

namespace lb {

namespace {

constexpr unsigned char kSignature[7] = {0x52, 0x61, 0x72, 0x21, 0x1a, 0x07, 0x00};
constexpr unsigned char kSignature5[8] = {0x52, 0x61, 0x72, 0x21, 0x1a, 0x07, 0x01, 0x00};
constexpr int kMainHead = 0x73;
constexpr int kFileHead = 0x74;
constexpr int kNewSubHead = 0x7a;
constexpr int kEndHead = 0x7b;
constexpr std::uint32_t kLongBlock = 0x8000;
constexpr std::uint32_t kLargeSizes = 0x0100;
constexpr std::uint32_t kUnicodeName = 0x0200;
constexpr std::uint32_t kEncrypted = 0x0004;
constexpr std::uint32_t kDirectoryMask = 0x00e0;
constexpr int kFileHeadFixed = 32;

std::uint32_t le16(const char* p) {
    return std::uint32_t(static_cast<unsigned char>(p[0])) |
           std::uint32_t(static_cast<unsigned char>(p[1])) << 8;
}
std::uint32_t le32(const char* p) {
    return le16(p) | le16(p + 2) << 16;
}

bool headerCrcMatches(const QByteArray& h) {
    return (Crc32::of(h.constData() + 2, std::size_t(h.size() - 2)) & 0xffff) ==
           le16(h.constData());
}

RarFileEntry::Type entryType(std::uint32_t flags, std::uint32_t hostOS, std::uint32_t attr) {
    if ((flags & kDirectoryMask) == kDirectoryMask)
        return RarFileEntry::Type::Directory;
    if (hostOS == 3 || hostOS == 5) { // Unix, BeOS: mode bits
        switch (attr & 0170000) {
        case 0:
        case 0100000:
            return RarFileEntry::Type::Regular;
        case 0040000:
            return RarFileEntry::Type::Directory;
        default:
            return RarFileEntry::Type::Other;
        }
    }
    return (attr & 0x10) ? RarFileEntry::Type::Directory : RarFileEntry::Type::Regular;
}

QString decodeName(const QByteArray& raw) {
    // Names are bytes in the archiver's code page; UTF-8 where it decodes.
    QString s = QString::fromUtf8(raw);
    if (s.contains(QChar::ReplacementCharacter))
        s = QString::fromLatin1(raw);
    return s;
}

} // namespace

QString shownEntryName(const QString& storedName) {
    QString s = storedName;
    s.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return s;
}

RarHeaderReader::RarHeaderReader(const QString& archivePath)
    : m_path(archivePath), m_file(archivePath) {
    if (archivePath.isEmpty() || !m_file.open(QIODevice::ReadOnly) || m_file.isSequential()) {
        m_openError = RarCode::OpenFailed;
        m_ended = true;
        return;
    }
    m_size = m_file.size();
    const QByteArray sig = m_file.read(8);
    if (sig.size() >= 8 && memcmp(sig.constData(), kSignature5, 8) == 0) {
        // The later format: not one this component reads.
        m_openError = RarCode::UnknownFormat;
        m_ended = true;
        return;
    }
    if (sig.size() < 7 || memcmp(sig.constData(), kSignature, 7) != 0) {
        m_openError = RarCode::BadArchive;
        m_ended = true;
        return;
    }
    m_pos = 7;
    advance();
}

bool RarHeaderReader::next(RarFileEntry& entry) {
    if (!m_havePending)
        return false;
    entry = std::move(m_pending);
    m_havePending = false;
    if (!entry.truncated) // the archive ends inside a truncated entry
        advance();
    return true;
}

void RarHeaderReader::fail(int code) {
    if (m_mainSeen)
        m_endError = code;
    else
        m_openError = code;
    m_ended = true;
}

void RarHeaderReader::advance() {
    while (!m_ended) {
        if (m_pos == m_size) {
            if (!m_mainSeen)
                return fail(RarCode::BadData);
            m_ended = true; // no end block: older archivers wrote none
            return;
        }
        if (m_size - m_pos < 7 || !m_file.seek(m_pos))
            return fail(RarCode::BadData);
        QByteArray h = m_file.read(7);
        if (h.size() != 7)
            return fail(RarCode::BadData);
        const int type = static_cast<unsigned char>(h[2]);
        const std::uint32_t flags = le16(h.constData() + 3);
        const std::uint32_t size = le16(h.constData() + 5);
        if (size < 7 || m_pos + size > m_size)
            return fail(RarCode::BadData);
        h += m_file.read(size - 7);
        if (h.size() != int(size))
            return fail(RarCode::BadData);
        if (!m_mainSeen) {
            if (type != kMainHead || size < 13 || !headerCrcMatches(h))
                return fail(RarCode::BadData);
            m_mainSeen = true;
            m_pos += size;
            continue;
        }
        if (type == kEndHead) {
            if (!headerCrcMatches(h))
                return fail(RarCode::BadData);
            m_ended = true;
            return;
        }
        if (type == kFileHead || type == kNewSubHead) {
            const bool large = flags & kLargeSizes;
            if (int(size) < kFileHeadFixed + (large ? 8 : 0) || !headerCrcMatches(h))
                return fail(RarCode::BadData);
            const char* p = h.constData();
            std::uint64_t pack = le32(p + 7);
            std::uint64_t unp = le32(p + 11);
            const std::uint32_t nameSize = le16(p + 26);
            int at = kFileHeadFixed;
            if (large) {
                pack |= std::uint64_t(le32(p + at)) << 32;
                unp |= std::uint64_t(le32(p + at + 4)) << 32;
                at += 8;
            }
            if (at + nameSize > size)
                return fail(RarCode::BadData);
            const qint64 dataOffset = m_pos + size;
            const bool truncated = pack > std::uint64_t(m_size - dataOffset);
            if (type == kNewSubHead && !truncated && nameSize == 3 &&
                memcmp(p + at, "CMT", 3) == 0 && static_cast<unsigned char>(p[25]) == 0x30 &&
                !m_hasComment && !m_fileSeen) {
                // Comments of other methods would need unpacking: left unread.
                const qint64 keep = qMin<qint64>(qint64(pack), 65535);
                if (m_file.seek(dataOffset)) {
                    m_comment = m_file.read(keep);
                    m_hasComment = m_comment.size() == keep;
                }
            }
            m_pos = dataOffset + qint64(pack);
            if (type == kFileHead) {
                RarFileEntry& e = m_pending;
                e = RarFileEntry();
                QByteArray raw(p + at, int(nameSize));
                e.unicodeName = flags & kUnicodeName;
                // Up to the zero: the whole name, or the plain part the
                // library decodes the rest of.
                const int zero = raw.indexOf('\0');
                if (zero >= 0)
                    raw.truncate(zero);
                RARHeaderData& d = e.header;
                d.ArcName = m_path;
                d.FileName = decodeName(raw.left(260));
                d.Flags = flags;
                d.PackSize = pack;
                d.UnpSize = unp;
                d.HostOS = static_cast<unsigned char>(p[15]);
                d.FileCRC = le32(p + 16);
                d.FileTime = le32(p + 20);
                d.UnpVer = static_cast<unsigned char>(p[24]);
                d.Method = static_cast<unsigned char>(p[25]);
                d.FileAttr = le32(p + 28);
                e.type = entryType(flags, d.HostOS, d.FileAttr);
                e.encrypted = flags & kEncrypted;
                e.dataOffset = std::uint64_t(dataOffset);
                e.truncated = truncated;
                m_havePending = true;
                m_fileSeen = true;
                if (truncated)
                    m_ended = true;
                return;
            }
            if (truncated) {
                m_ended = true; // the archive ends inside this block
                return;
            }
            continue;
        }
        // Any other block: skip it and the data it announces.
        std::uint64_t add = 0;
        if (flags & kLongBlock) {
            if (size < 11)
                return fail(RarCode::BadData);
            add = le32(h.constData() + 7);
        }
        if (add > std::uint64_t(m_size - m_pos - size))
            return fail(RarCode::BadData);
        m_pos += size + qint64(add);
    }
}

} // namespace lb
