#include "update/TargetFolder.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace lb {

namespace {

int retryOpenAt(int dir, const char* name, int flags, mode_t mode = 0) {
    int fd;
    do
        fd = ::openat(dir, name, flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

TargetFolder::~TargetFolder() {
    if (m_file >= 0)
        endFile(false);
    if (m_root >= 0)
        ::close(m_root);
}

bool TargetFolder::open(const QString& path) {
    if (path.isEmpty() || !QDir().mkpath(path))
        return false;
    m_root = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return m_root >= 0;
}

QStringList TargetFolder::safeComponents(const QString& shownName) {
    QString name = shownName;
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')) || name.contains(QChar(0)))
        return {};
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:"));
    if (drive.match(name).hasMatch())
        return {};
    QStringList out;
    for (const QString& part : name.split(QLatin1Char('/'))) {
        if (part == QLatin1String(".."))
            return {};
        if (part.isEmpty() || part == QLatin1String("."))
            continue;
        out.append(part);
    }
    return out;
}

int TargetFolder::openChain(const QStringList& folders, bool create) const {
    int dir = ::dup(m_root);
    for (const QString& part : folders) {
        if (dir < 0)
            return -1;
        const QByteArray n = QFile::encodeName(part);
        int next = retryOpenAt(dir, n.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        if (next < 0 && errno == ENOENT && create) {
            if (::mkdirat(dir, n.constData(), 0755) == 0 || errno == EEXIST)
                next = retryOpenAt(dir, n.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        }
        ::close(dir);
        dir = next;
    }
    return dir;
}

bool TargetFolder::makeFolders(const QStringList& components) {
    if (m_root < 0 || components.isEmpty())
        return false;
    const int fd = openChain(components, true);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool TargetFolder::beginFile(const QStringList& components) {
    if (m_root < 0 || components.isEmpty() || m_file >= 0)
        return false;
    m_parent = openChain(components.mid(0, components.size() - 1), true);
    if (m_parent < 0)
        return false;
    m_finalName = QFile::encodeName(components.last());
    struct stat st {};
    if (::fstatat(m_parent, m_finalName.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISDIR(st.st_mode)) {
        closeFile();
        return false;
    }
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100 && m_file < 0; ++attempt) {
        m_tempName = QByteArray(".unpack-") + QByteArray::number(qint64(::getpid())) + '-' +
                     QByteArray::number(++counter);
        m_file = retryOpenAt(m_parent, m_tempName.constData(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0644);
        if (m_file < 0 && errno != EEXIST)
            break;
    }
    if (m_file < 0) {
        closeFile();
        return false;
    }
    return true;
}

bool TargetFolder::write(const char* data, std::size_t len) {
    while (len > 0) {
        const ssize_t n = ::write(m_file, data, len);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        len -= std::size_t(n);
    }
    return true;
}

bool TargetFolder::endFile(bool keep) {
    if (m_file < 0)
        return false;
    bool ok = ::close(m_file) == 0;
    m_file = -1;
    // rename replaces the name itself, never what a link at that name points to.
    if (keep && ok)
        ok = ::renameat(m_parent, m_tempName.constData(), m_parent, m_finalName.constData()) == 0;
    else
        ok = false;
    if (!ok)
        ::unlinkat(m_parent, m_tempName.constData(), 0);
    closeFile();
    return ok;
}

void TargetFolder::closeFile() {
    if (m_parent >= 0)
        ::close(m_parent);
    m_parent = -1;
}

std::uint64_t TargetFolder::freeBytes() const {
    struct statvfs s {};
    if (m_root < 0 || ::fstatvfs(m_root, &s) != 0)
        return UINT64_MAX;
    return std::uint64_t(s.f_bavail) * s.f_frsize;
}

} // namespace lb
