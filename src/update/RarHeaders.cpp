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

RarHeaderScan scanRarHeaders(const QString& archivePath) {
    RarHeaderScan scan;
    QFile f(archivePath);
    if (archivePath.isEmpty() || !f.open(QIODevice::ReadOnly) || f.isSequential()) {
        scan.openError = RarCode::OpenFailed;
        return scan;
    }
    const qint64 fileSize = f.size();
    const QByteArray sig = f.read(8);
    if (sig.size() >= 8 && memcmp(sig.constData(), kSignature5, 8) == 0) {
        // The later format: not one this component reads.
        scan.openError = RarCode::UnknownFormat;
        return scan;
    }
    if (sig.size() < 7 || memcmp(sig.constData(), kSignature, 7) != 0) {
        scan.openError = RarCode::BadArchive;
        return scan;
    }

    qint64 pos = 7;
    bool mainSeen = false;
    auto fail = [&](int code) {
        if (mainSeen)
            scan.endError = code;
        else
            scan.openError = code;
        return scan;
    };
    for (;;) {
        if (pos == fileSize) {
            if (!mainSeen)
                return fail(RarCode::BadData);
            return scan; // no end block: older archivers wrote none
        }
        if (fileSize - pos < 7 || !f.seek(pos))
            return fail(RarCode::BadData);
        QByteArray h = f.read(7);
        if (h.size() != 7)
            return fail(RarCode::BadData);
        const int type = static_cast<unsigned char>(h[2]);
        const std::uint32_t flags = le16(h.constData() + 3);
        const std::uint32_t size = le16(h.constData() + 5);
        if (size < 7 || pos + size > fileSize)
            return fail(RarCode::BadData);
        h += f.read(size - 7);
        if (h.size() != int(size))
            return fail(RarCode::BadData);
        if (!mainSeen) {
            if (type != kMainHead || size < 13 || !headerCrcMatches(h))
                return fail(RarCode::BadData);
            mainSeen = true;
            pos += size;
            continue;
        }
        if (type == kEndHead) {
            if (!headerCrcMatches(h))
                return fail(RarCode::BadData);
            return scan;
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
            const qint64 dataOffset = pos + size;
            const bool truncated = pack > std::uint64_t(fileSize - dataOffset);
            if (type == kFileHead) {
                RarFileEntry e;
                QByteArray raw(p + at, int(nameSize));
                e.unicodeName = flags & kUnicodeName;
                if (!e.unicodeName) {
                    const int zero = raw.indexOf('\0');
                    if (zero >= 0)
                        raw.truncate(zero);
                } else {
                    // The plain part before the zero; the library decodes the rest.
                    raw.truncate(raw.indexOf('\0') >= 0 ? raw.indexOf('\0') : raw.size());
                }
                RARHeaderData& d = e.header;
                d.ArcName = archivePath;
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
                scan.files.append(e);
            }
            if (type == kNewSubHead && !truncated && nameSize == 3 &&
                memcmp(p + at, "CMT", 3) == 0 && static_cast<unsigned char>(p[25]) == 0x30 &&
                !scan.hasComment) {
                // Comments of other methods would need unpacking: left unread.
                const qint64 keep = qMin<qint64>(qint64(pack), 65535);
                if (f.seek(dataOffset)) {
                    scan.comment = f.read(keep);
                    scan.hasComment = scan.comment.size() == keep;
                }
            }
            if (truncated)
                return scan; // the archive ends inside this entry
            pos = dataOffset + qint64(pack);
            continue;
        }
        // Any other block: skip it and the data it announces.
        std::uint64_t add = 0;
        if (flags & kLongBlock) {
            if (size < 11)
                return fail(RarCode::BadData);
            add = le32(h.constData() + 7);
        }
        if (add > std::uint64_t(fileSize - pos - size))
            return fail(RarCode::BadData);
        pos += size + qint64(add);
    }
}

} // namespace lb
