#include "liststore/QDB.h"

#include "common/AsciiText.h"
#include "liststore/QDBCipher.h"
#include "liststore/QDBCompress.h"
#include "liststore/QDBFields.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QtEndian>

namespace lb {

namespace {

const QByteArray SigQDB("QDB\0", 4);
const QByteArray SigQPW("QPW\0", 4);
const QByteArray SigQIX("QIX\0", 4);
const QString CaseSensitiveKey = QStringLiteral("QDBCaseSensitive");

int codeForErrno(int e) {
    switch (e) {
    case ENOENT:
    case ENOTDIR:
        return -2;
    case ENXIO:
    case ENODEV:
#ifdef ENOMEDIUM
    case ENOMEDIUM:
#endif
        return -3;
    case EMFILE:
    case ENFILE:
        return -4;
    case EBUSY:
    case ETXTBSY:
        return -5;
    case ENOSPC:
        return -101;
    default:
        return e > 0 ? e : -1000;
    }
}

QByteArray le32(quint32 v) {
    char b[4];
    qToLittleEndian<quint32>(v, b);
    return QByteArray(b, 4);
}

// The file as written: header, data section, index section.
void writeHeader(QIODevice& out, const QByteArray& password) {
    out.write(SigQDB);
    if (!password.isEmpty()) {
        out.write(SigQPW);
        out.write(qdb::passwordCheck(password));
    }
}

} // namespace

QString EQDBFileError::textFor(int code, const QString& fileName, const QString& ownMessage) {
    switch (code) {
    case -1:
        return ownMessage;
    case -2:
        return QStringLiteral("Could not find the file %1").arg(fileName);
    case -3:
        return QStringLiteral("The drive you are trying to access is not ready");
    case -4:
        return QStringLiteral("No more file handles are available");
    case -5:
        return QStringLiteral("The file %1 seems to be in use by another program").arg(fileName);
    case -101:
        return QStringLiteral("The drive is full");
    default:
        return QStringLiteral("Unidentified problem -  %1").arg(code);
    }
}

TQDB::TQDB() = default;

TQDB::~TQDB() {
    try {
        close();
    } catch (const EQDBError&) {
        // A failed save on close keeps the old file; nothing more to do here.
    }
    dropWorkingFile();
}

QString TQDB::expandFileName(const QString& name, bool expanded) {
    QString n = name;
    const QString base = QFileInfo(n).fileName();
    if (!base.contains(QLatin1Char('.')))
        n += QStringLiteral(".QDB");
    return expanded ? QFileInfo(n).absoluteFilePath() : n;
}

void TQDB::setFileName(QString name) {
    close();
    m_fileName.clear();
    if (name.isEmpty())
        return;
    const QString path = expandFileName(name, expandedFileNames);
    m_fileName = path;
    if (!QFileInfo::exists(path))
        createEmptyFile(path, password);
    open();
}

void TQDB::createEmptyFile(const QString& path, const QByteArray& password) {
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) {
        const int e = errno;
        throw EQDBFileError(codeForErrno(e), path);
    }
    writeHeader(out, password);
    out.write(le32(0));
    out.write(SigQIX);
    out.write(le32(5));
    QByteArray index(5, '\0');
    if (!password.isEmpty())
        qdb::cipherSection(index.data(), index.size(),
                           qdb::keystreamSeed(qdb::passwordKey(password)));
    out.write(index);
    if (!out.commit()) {
        const int e = errno;
        throw EQDBFileError(e == ENOSPC ? -101 : -1, path, qdbtext::cannotExtend(path));
    }
}

void TQDB::invalid() const {
    throw EQDBFileError(-1, m_fileName, qdbtext::invalidFile(m_fileName));
}

void TQDB::open() {
    rememberStamp();
    QFileInfo info(m_fileName);
    // A file marked read-only on disk makes the store read-only.
    m_readOnly = m_readOnlyWanted || (info.exists() && !info.isWritable());

    if (info.isDir())
        invalid();
    QFile in(m_fileName);
    if (!in.open(QIODevice::ReadOnly)) {
        const int e = errno;
        throw EQDBFileError(info.exists() ? codeForErrno(e) : -2, m_fileName);
    }
    const qint64 size = in.size();
    if (size == 0)
        throw EQDBFileError(-1, m_fileName, qdbtext::emptyFile(m_fileName));
    if (in.read(4) != SigQDB)
        invalid();

    bool enciphered = false;
    quint32 seed = 0;
    qint64 pos = 4;
    const QByteArray maybePw = in.read(4);
    if (maybePw == SigQPW) {
        const QByteArray check = in.read(20);
        if (check.size() != 20)
            invalid();
        if (check != qdb::passwordCheck(password))
            throw EQDBInvalidPW(qdbtext::invalidPassword());
        enciphered = true;
        seed = qdb::keystreamSeed(qdb::passwordKey(password));
        pos = 28;
    }

    // The stated lengths must fit in the file before anything is copied.
    in.seek(pos);
    const QByteArray dBytes = in.read(4);
    if (dBytes.size() != 4)
        invalid();
    const qint64 d = qFromLittleEndian<quint32>(dBytes.constData());
    const qint64 dataAt = pos + 4;
    if (dataAt + d + 8 > size)
        invalid();
    in.seek(dataAt + d);
    const QByteArray ixHead = in.read(8);
    if (ixHead.size() != 8 || ixHead.left(4) != SigQIX)
        invalid();
    const qint64 x = qFromLittleEndian<quint32>(ixHead.constData() + 4);
    const qint64 indexAt = dataAt + d + 8;
    if (indexAt + x > size)
        invalid();

    // The data section goes into the working file, deciphered chunk by chunk.
    auto work = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/QDBXXXXXX"));
    if (!work->open())
        throw EQDBFileError(-1, m_fileName, qdbtext::noTempFile());
    // Unlinked at once: the open handle keeps it, and no crash can leave it behind.
    QFile::remove(work->fileName());
    work->setAutoRemove(false);
    in.seek(dataAt);
    for (qint64 done = 0; done < d;) {
        QByteArray chunk = in.read(qMin(qdb::ChunkSize, d - done));
        if (chunk.isEmpty())
            invalid();
        if (enciphered)
            qdb::cipherChunk(chunk.data(), chunk.size(), seed);
        if (work->write(chunk) != chunk.size())
            throw EQDBFileError(-1, m_fileName, qdbtext::cannotExtend(m_fileName));
        done += chunk.size();
    }
    in.seek(indexAt);
    QByteArray index = in.read(x);
    if (index.size() != x)
        invalid();
    if (enciphered)
        qdb::cipherSection(index.data(), index.size(), seed);

    m_work = std::move(work);
    m_dataSize = d;
    m_open = true;
    m_changed = false;
    m_caseSensitive = false;
    m_workingReads = 0;
    cacheClear();
    try {
        loadIndex(index);
        applyCaseSensitivity();
    } catch (...) {
        dropWorkingFile();
        m_index.clear();
        m_open = false;
        throw;
    }
    first();
    try {
        opened();
    } catch (...) {
        // The layer above refused the file: close it untouched.
        dropWorkingFile();
        m_index.clear();
        cacheClear();
        m_open = false;
        m_changed = false;
        m_cursor = -1;
        throw;
    }
}

void TQDB::loadIndex(const QByteArray& section) {
    m_index.clear();
    const auto* p = reinterpret_cast<const unsigned char*>(section.constData());
    const qint64 x = section.size();
    if (x < 4)
        invalid();
    const qint64 n = qFromLittleEndian<quint32>(p);
    // The smallest entry is 13 bytes: a count the section cannot hold is refused
    // at once, and entries are only added as they are actually read.
    if (n > (x - 4) / 13)
        invalid();
    qint64 at = 4;
    for (qint64 i = 0; i < n; ++i) {
        if (at + 1 > x)
            invalid();
        const int len = p[at];
        if (at + 1 + len + 12 > x)
            invalid();
        Entry e;
        e.keyBytes = QByteArray(reinterpret_cast<const char*>(p + at + 1), len);
        e.key = decodeText(e.keyBytes);
        at += 1 + len;
        e.position = qFromLittleEndian<quint32>(p + at);
        e.length = qFromLittleEndian<quint32>(p + at + 4);
        e.flags = qFromLittleEndian<quint32>(p + at + 8);
        at += 12;
        m_index.push_back(std::move(e));
    }
    sortIndex();
}

void TQDB::sortIndex() {
    const bool cs = m_caseSensitive;
    std::stable_sort(m_index.begin(), m_index.end(),
                     [cs](const Entry& a, const Entry& b) { return keyLess(a.key, b.key, cs); });
}

void TQDB::applyCaseSensitivity() {
    const int i = indexOf(CaseSensitiveKey);
    if (i < 0)
        return;
    bool on = false;
    try {
        on = qdb::booleanValue(readItem(i));
    } catch (const EQDBError&) {
        on = false; // an unreadable switch leaves the default
    }
    if (on) {
        m_caseSensitive = true;
        sortIndex();
    }
}

void TQDB::close() {
    if (!m_open)
        return;
    if (m_changed && saveOnClose && !m_readOnly)
        save();
    dropWorkingFile();
    m_index.clear();
    m_index.shrink_to_fit();
    cacheClear();
    m_open = false;
    m_changed = false;
    m_cursor = -1;
    m_bof = m_eof = true;
    m_dataSize = 0;
}

void TQDB::dropWorkingFile() {
    if (m_work) {
        m_work->close();
        m_work.reset();
    }
}

void TQDB::rememberStamp() {
    QFileInfo info(m_fileName);
    info.setCaching(false);
    m_stamp = info.exists() ? info.lastModified() : QDateTime();
    m_stampSize = info.exists() ? info.size() : -1;
}

bool TQDB::stampChanged() const {
    QFileInfo info(m_fileName);
    info.setCaching(false);
    if (!info.exists())
        return false;
    return info.lastModified() != m_stamp || info.size() != m_stampSize;
}

void TQDB::save() {
    requireFile();
    requireWritable();
    QString target = m_fileName;
    if (stampChanged() && !(OnFileChanged && OnFileChanged(m_fileName))) {
        // Somebody else's version stays; ours goes beside it.
        do {
            const QFileInfo fi(target);
            target = fi.absolutePath() + QStringLiteral("/1.") + fi.fileName();
        } while (QFileInfo::exists(target));
    }

    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        throw EQDBFileError(-1, target, qdbtext::noTempFile());
    const bool enciphered = !password.isEmpty();
    const quint32 seed = enciphered ? qdb::keystreamSeed(qdb::passwordKey(password)) : 0;
    auto fail = [&]() {
        const int e = errno;
        out.cancelWriting();
        throw EQDBFileError(e == ENOSPC ? -101 : -1, target, qdbtext::cannotExtend(target));
    };

    writeHeader(out, password);
    out.write(le32(quint32(m_dataSize)));
    m_work->seek(0);
    for (qint64 done = 0; done < m_dataSize;) {
        QByteArray chunk = m_work->read(qMin(qdb::ChunkSize, m_dataSize - done));
        if (chunk.isEmpty())
            fail();
        if (enciphered)
            qdb::cipherChunk(chunk.data(), chunk.size(), seed);
        if (out.write(chunk) != chunk.size())
            fail();
        done += chunk.size();
    }

    QByteArray index = le32(quint32(m_index.size()));
    for (const Entry& e : m_index) {
        index.append(char(quint8(e.keyBytes.size())));
        index.append(e.keyBytes);
        index.append(le32(e.position));
        index.append(le32(e.length));
        index.append(le32(e.flags));
    }
    index.append('\0');
    if (enciphered)
        qdb::cipherSection(index.data(), index.size(), seed);
    out.write(SigQIX);
    out.write(le32(quint32(index.size())));
    if (out.write(index) != index.size())
        fail();
    if (!out.commit()) {
        const int e = errno;
        throw EQDBFileError(e == ENOSPC ? -101 : -1, target, qdbtext::cannotExtend(target));
    }
    m_fileName = target;
    rememberStamp();
    m_changed = false;
}

void TQDB::requireFile() const {
    if (!m_open)
        throw EQDBNoFile(qdbtext::noFile());
}

void TQDB::requireWritable() const {
    if (m_readOnly)
        throw EQDBReadOnly(qdbtext::readOnly(m_fileName));
}

int TQDB::compareKeys(const QString& a, const QString& b, bool caseSensitive) {
    const int c = QString::compare(a, b, Qt::CaseInsensitive);
    if (c != 0 || !caseSensitive)
        return c;
    // Same letters, different case: lower case first, as the locale orders them.
    return -QString::compare(a, b, Qt::CaseSensitive);
}

bool TQDB::keyLess(const QString& a, const QString& b, bool caseSensitive) {
    return compareKeys(a, b, caseSensitive) < 0;
}

const TQDB::Entry& TQDB::entry(int i) const {
    if (i < 0 || i >= count())
        throw EQDBOutOfBounds(qdbtext::outOfBounds());
    return m_index[size_t(i)];
}

void TQDB::listKeys(QStringList& keys) const {
    keys.clear();
    keys.reserve(count());
    for (const Entry& e : m_index)
        keys.append(e.key);
}

int TQDB::lowerBound(const QString& key) const {
    const bool cs = m_caseSensitive;
    auto it = std::lower_bound(
        m_index.begin(), m_index.end(), key,
        [cs](const Entry& e, const QString& k) { return compareKeys(e.key, k, cs) < 0; });
    return int(it - m_index.begin());
}

int TQDB::indexOf(const QString& key) const {
    const int i = lowerBound(key);
    if (i < count() && compareKeys(m_index[size_t(i)].key, key, m_caseSensitive) == 0)
        return i;
    return -1;
}

bool TQDB::findKey(const QString& key) {
    requireFile();
    const int i = indexOf(key);
    if (i >= 0)
        setItemIndex(i);
    return i >= 0;
}

void TQDB::setItemIndex(int i) {
    if (i < 0 || i >= count())
        throw EQDBOutOfBounds(qdbtext::outOfBounds());
    m_cursor = i;
    m_bof = m_eof = false;
}

QString TQDB::currentKey() const {
    return hasCurrent() ? m_index[size_t(m_cursor)].key : QString();
}

void TQDB::first() {
    m_cursor = count() > 0 ? 0 : -1;
    m_bof = true;
    m_eof = count() == 0;
}
void TQDB::last() {
    m_cursor = count() - 1;
    m_eof = true;
    m_bof = count() == 0;
}
void TQDB::next() {
    if (m_cursor + 1 < count()) {
        ++m_cursor;
        m_bof = false;
    } else {
        m_eof = true;
    }
}
void TQDB::prior() {
    if (m_cursor > 0) {
        --m_cursor;
        m_eof = false;
    } else {
        m_bof = true;
    }
}

QByteArray TQDB::readItem(int i) {
    requireFile();
    return readBody(entry(i));
}

QByteArray TQDB::currentItem() {
    requireFile();
    if (!hasCurrent())
        throw EQDBNoData(qdbtext::outOfBounds());
    return readBody(m_index[size_t(m_cursor)]);
}

QByteArray TQDB::readBody(const Entry& e) {
    if (const QByteArray* hit = cacheGet(e))
        return *hit;
    if (quint64(e.position) + quint64(e.length) > quint64(m_dataSize))
        invalid();
    QByteArray stored;
    if (e.length > 0) {
        if (!m_work->seek(e.position))
            invalid();
        stored = m_work->read(e.length);
        ++m_workingReads;
        if (stored.size() != qint64(e.length))
            invalid();
    }
    QByteArray body;
    if (e.flags & FlagCompressed) {
        std::optional<QByteArray> expanded;
        try {
            expanded = qdb::expand(stored);
        } catch (const std::bad_alloc&) {
            throw EQDBNoCompress(qdbtext::noCompressMemory());
        }
        if (!expanded)
            invalid();
        body = std::move(*expanded);
    } else {
        body = std::move(stored);
    }
    cachePut(e, body);
    return body;
}

void TQDB::cachePut(const Entry& e, const QByteArray& body) {
    if (body.size() >= cacheSize)
        return;
    const quint64 key = (quint64(e.position) << 32) | e.length;
    if (auto it = m_cacheAt.find(key); it != m_cacheAt.end()) {
        m_cacheBytes -= it->second->body.size();
        m_cache.erase(it->second);
        m_cacheAt.erase(it);
    }
    while (!m_cache.empty() && m_cacheBytes + body.size() > cacheSize) {
        m_cacheBytes -= m_cache.back().body.size();
        m_cacheAt.erase(m_cache.back().key);
        m_cache.pop_back();
    }
    m_cache.push_front({key, e.flags, body});
    m_cacheAt[key] = m_cache.begin();
    m_cacheBytes += body.size();
}

const QByteArray* TQDB::cacheGet(const Entry& e) {
    const quint64 key = (quint64(e.position) << 32) | e.length;
    auto it = m_cacheAt.find(key);
    if (it == m_cacheAt.end() || it->second->flags != e.flags)
        return nullptr;
    m_cache.splice(m_cache.begin(), m_cache, it->second);
    return &m_cache.front().body;
}

void TQDB::cacheClear() {
    m_cache.clear();
    m_cacheAt.clear();
    m_cacheBytes = 0;
}

quint32 TQDB::appendBody(const QByteArray& stored) {
    if (quint64(m_dataSize) + quint64(stored.size()) > 0xFFFFFFFFull)
        throw EQDBFileError(-1, m_fileName, qdbtext::cannotExtend(m_fileName));
    const quint32 position = quint32(m_dataSize);
    if (!m_work->seek(m_dataSize) || m_work->write(stored) != stored.size()) {
        const int e = errno;
        throw EQDBFileError(e == ENOSPC ? -101 : -1, m_fileName, qdbtext::cannotExtend(m_fileName));
    }
    m_dataSize += stored.size();
    return position;
}

QByteArray TQDB::storedForm(const QByteArray& body, quint32& flags) const {
    flags = 0;
    if (!compression)
        return body;
    try {
        flags = FlagCompressed;
        return qdb::compress(body);
    } catch (const std::bad_alloc&) {
        throw EQDBNoCompress(qdbtext::noCompressMemory());
    }
}

void TQDB::addItem(const QString& key, const QByteArray& body) {
    requireFile();
    requireWritable();
    const QByteArray keyBytes = key.toUtf8();
    if (keyBytes.isEmpty() || keyBytes.size() > 255)
        throw EQDBBadKey(qdbtext::badKeyLength());
    const int at = lowerBound(key);
    if (at < count() && compareKeys(m_index[size_t(at)].key, key, m_caseSensitive) == 0)
        throw EQDBIndexError(qdbtext::duplicateKey());
    if (m_index.size() >= size_t(0x7FFFFFFF))
        throw EQDBIndexError(qdbtext::indexFull(QString::number(count() + 1)));
    Entry e;
    const QByteArray stored = storedForm(body, e.flags);
    e.keyBytes = keyBytes;
    e.key = key;
    e.length = quint32(stored.size());
    e.position = appendBody(stored);
    try {
        m_index.insert(m_index.begin() + at, std::move(e));
    } catch (const std::bad_alloc&) {
        throw EQDBIndexError(qdbtext::indexFull(QString::number(count() + 1)));
    }
    m_cursor = at;
    m_bof = m_eof = false;
    m_changed = true;
}

void TQDB::changeCurrent(const QByteArray& body) {
    requireFile();
    requireWritable();
    if (!hasCurrent())
        throw EQDBNoData(qdbtext::outOfBounds());
    quint32 flags = 0;
    const QByteArray stored = storedForm(body, flags);
    const quint32 position = appendBody(stored);
    Entry& e = m_index[size_t(m_cursor)];
    e.position = position;
    e.length = quint32(stored.size());
    e.flags = flags;
    m_changed = true;
}

void TQDB::deleteItem(const QString& key) {
    requireFile();
    requireWritable();
    const int i = indexOf(key);
    if (i < 0)
        throw EQDBBadKey(qdbtext::keyMissing(key));
    removeAt(i);
}

void TQDB::deleteCurrent() {
    requireFile();
    requireWritable();
    if (!hasCurrent())
        throw EQDBNoData(qdbtext::outOfBounds());
    removeAt(m_cursor);
}

void TQDB::removeAt(int i) {
    m_index.erase(m_index.begin() + i);
    if (m_cursor > i || m_cursor >= count())
        --m_cursor;
    if (count() == 0)
        m_cursor = -1;
    m_bof = m_cursor <= 0;
    m_eof = m_cursor < 0 || m_cursor == count() - 1;
    m_changed = true;
}

} // namespace lb
