#pragma once
// Creates unpacked entries inside one folder and nowhere else. Every step
// goes through a handle on the folder (openat and friends, never following a
// link), a file is written under a temporary name and renamed into place only
// when complete, so a half-written or rejected entry never replaces anything.
#include <cstdint>
#include <QString>
#include <QStringList>

namespace lb {

class TargetFolder {
public:
    TargetFolder() = default;
    ~TargetFolder();
    TargetFolder(const TargetFolder&) = delete;
    TargetFolder& operator=(const TargetFolder&) = delete;

    // Creates the folder when missing and opens it; false when that fails.
    bool open(const QString& path);
    bool isOpen() const { return m_root >= 0; }

    // The folders of a name relative to the target, or an empty list when the
    // name would lead outside it: absolute ("/x", "\x", "C:x"), a ".."
    // component anywhere, a zero byte, or nothing left after "." and "".
    static QStringList safeComponents(const QString& shownName);

    // Creates the folder chain; false on failure (a link or a file in the way).
    bool makeFolders(const QStringList& components);

    // Starts a file; returns false when it cannot be created.
    bool beginFile(const QStringList& components);
    bool write(const char* data, std::size_t len);
    // Renames the finished file into place (keep) or throws it away.
    bool endFile(bool keep);

    // Bytes free for unprivileged writers on the folder's file system.
    std::uint64_t freeBytes() const;

private:
    int openChain(const QStringList& folders, bool create) const;
    void closeFile();

    int m_root = -1;
    int m_parent = -1;
    int m_file = -1;
    QByteArray m_tempName;
    QByteArray m_finalName;
};

} // namespace lb
