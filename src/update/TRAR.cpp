#include "update/TRAR.h"

#include "update/Crc32.h"
#include "update/TargetFolder.h"

#include <QFile>

#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <vector>

namespace lb {

namespace {

struct ArchiveCloser {
    void operator()(archive* a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveCloser>;

bool listed(const QStringList& list, const QString& shownName) {
    if (list.isEmpty())
        return true;
    for (const QString& n : list)
        if (shownEntryName(n).compare(shownName, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// What became of one entry: its result code (0 = fine) and whether the
// operation may go on to the next entry afterwards.
struct Outcome {
    int code = 0;
    bool goOn() const {
        return code == 0 || code == RarCode::BadData || code == RarCode::CreateFailed;
    }
};

} // namespace

TRAR::TRAR(QObject* parent) : QObject(parent) {
    // The library is linked in; it is usable when it was built with RAR support.
    archive* probe = archive_read_new();
    m_loaded = probe && archive_read_support_format_rar(probe) == ARCHIVE_OK;
    if (probe)
        archive_read_free(probe);
}

bool TRAR::Test() {
    return run(false);
}
bool TRAR::Extract() {
    return run(true);
}

bool TRAR::run(bool extract) {
    if (!m_loaded) {
        error(RarCode::NoLibrary);
        return false;
    }
    if (ArchiveName.isEmpty()) {
        error(RarCode::BadArchive);
        return false;
    }
    RarHeaderReader headers(ArchiveName);
    if (headers.openError()) {
        error(headers.openError());
        return false;
    }
    ArchivePtr a(archive_read_new());
    archive_read_support_format_rar(a.get());
    if (archive_read_open_filename(a.get(), QFile::encodeName(ArchiveName).constData(),
                                   BlockSize) != ARCHIVE_OK) {
        error(RarCode::BadArchive);
        return false;
    }
    if (headers.hasComment() && OnComment) {
        QString text = QString::fromUtf8(headers.comment());
        if (text.contains(QChar::ReplacementCharacter))
            text = QString::fromLatin1(headers.comment());
        OnComment(this, text);
    }
    TargetFolder target;
    const bool targetOpen =
        extract && target.open(TargetDir.isEmpty() ? QStringLiteral(".") : TargetDir);
    const QStringList& wanted = extract ? FilesToExtract : FilesToTest;
    std::vector<char> buffer(BlockSize);

    bool result = true;
    RarFileEntry entry;
    while (headers.next(entry)) {
        archive_entry* ae = nullptr;
        const int r = archive_read_next_header(a.get(), &ae);
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
            error(RarCode::BadData);
            return false;
        }
        RARHeaderData header = entry.header;
        if (entry.unicodeName) {
            if (const char* utf8 = archive_entry_pathname_utf8(ae))
                header.FileName = QString::fromUtf8(utf8).left(260);
        }
        const QString shown = shownEntryName(header.FileName);
        if (Stop) {
            Stop = false;
            return result;
        }
        if (!listed(wanted, shown)) {
            if (entry.truncated || archive_read_data_skip(a.get()) != ARCHIVE_OK) {
                error(RarCode::BadData);
                return false;
            }
            continue;
        }

        if (extract) {
            if (OnExtracting)
                OnExtracting(this, header);
        } else if (OnTesting) {
            OnTesting(this, header);
        }
        qint64 running = 0;
        Outcome out;

        const int aeType = archive_entry_filetype(ae);
        const bool isDir = entry.type == RarFileEntry::Type::Directory || aeType == AE_IFDIR;
        const bool isRegular = !isDir && entry.type == RarFileEntry::Type::Regular &&
                               aeType == AE_IFREG && !archive_entry_hardlink(ae);
        const QStringList parts = TargetFolder::safeComponents(shown);

        if (entry.encrypted) {
            // libarchive cannot decipher RAR entries: whatever password is
            // given, the data would come out as it is stored.
            QString password;
            if (OnReqPassword)
                OnReqPassword(this, header, password);
            out.code = RarCode::MissingPassword;
        } else if (extract && (!targetOpen || parts.isEmpty() || (!isDir && !isRegular))) {
            out.code = RarCode::CreateFailed;
        } else if (extract && isDir) {
            if (!target.makeFolders(parts))
                out.code = RarCode::CreateFailed;
        } else if (isDir) {
            // nothing to test
        } else if (entry.truncated) {
            out.code = RarCode::BadData;
        } else if (extract && header.UnpSize > target.freeBytes()) {
            out.code = RarCode::CreateFailed;
        } else if (extract && !target.beginFile(parts)) {
            out.code = RarCode::CreateFailed;
        } else {
            Crc32 crc;
            const char* link = aeType == AE_IFLNK ? archive_entry_symlink(ae) : nullptr;
            if (link) // the library hands a link's stored data over as its target
                crc.update(link, strlen(link));
            std::uint64_t total = link ? strlen(link) : 0;
            for (;;) {
                const la_ssize_t n = archive_read_data(a.get(), buffer.data(), buffer.size());
                if (n == 0)
                    break;
                if (n < 0 || total + std::uint64_t(n) > header.UnpSize) {
                    out.code = RarCode::BadData;
                    break;
                }
                crc.update(buffer.data(), std::size_t(n));
                total += std::uint64_t(n);
                if (!extract)
                    continue;
                if (!target.write(buffer.data(), std::size_t(n))) {
                    out.code = RarCode::WriteFailed;
                    break;
                }
                running += n;
                if (OnProcessData && OnProcessData(this, buffer.data(), int(n), running) == -1) {
                    out.code = RarCode::Unknown; // the handler cancelled
                    break;
                }
            }
            if (out.code == 0 && (total != header.UnpSize || crc.value() != header.FileCRC))
                out.code = RarCode::BadData;
            if (extract && !target.endFile(out.code == 0) && out.code == 0)
                out.code = RarCode::WriteFailed;
        }

        const bool ok = out.code == 0;
        if (extract) {
            if (OnExtract)
                OnExtract(this, header, ok);
        } else if (OnTested) {
            OnTested(this, header, ok);
        }
        if (!ok) {
            result = false;
            error(out.code);
            if (!out.goOn())
                return false;
        }
    }
    if (headers.endError()) {
        // A damaged header ends the walk: the archive is not sound.
        error(headers.endError());
        result = false;
    }
    return result;
}

} // namespace lb
