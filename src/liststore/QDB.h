#pragma once
// TQDB: a single-file key/data store. Items are a key (1 to 255 bytes of
// UTF-8) and a body of bytes, optionally compressed, optionally enciphered
// with a password. While a store is open its data section lives in a working
// file and its index in memory, sorted by key; save writes the whole file
// again (through a temporary file in the store's own folder, renamed over it).
#include "liststore/QDBErrors.h"

#include <functional>
#include <list>
#include <memory>
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <unordered_map>
#include <vector>

class QFile;

namespace lb {

class TQDB {
public:
    // One index entry: where the body lies in the data section.
    struct Entry {
        QByteArray keyBytes; // as stored
        QString key;         // decoded, for comparing
        quint32 position = 0;
        quint32 length = 0;
        quint32 flags = 0;
    };
    static constexpr quint32 FlagCompressed = 1;

    TQDB();
    TQDB(const TQDB&) = delete;
    TQDB& operator=(const TQDB&) = delete;
    virtual ~TQDB();

    // "set file name": closes the current file (saving when needed), gives a
    // name without extension ".QDB", makes it absolute, creates a missing
    // file empty, then opens it. An empty name just closes.
    void setFileName(QString name); // by value: callers may pass fileName() itself
    const QString& fileName() const { return m_fileName; }
    // Writes a fresh empty store to PATH (replacing whatever is there).
    static void createEmptyFile(const QString& path, const QByteArray& password);
    // The name setFileName would use for NAME.
    static QString expandFileName(const QString& name, bool expanded = true);

    // Properties; set the password before the file name.
    QByteArray password;
    bool compression = false;
    qint64 cacheSize = 65536;
    int cacheFrequency = 0;
    bool aggressiveUpdate = false;
    bool saveOnClose = false;
    bool expandedFileNames = true;
    bool grepMatch = false;
    QString filter;
    QString dateTimeFormat = QStringLiteral("c");
    bool readOnly() const { return m_readOnly; }
    void setReadOnly(bool on) { m_readOnlyWanted = m_readOnly = on; }

    // Asked at save time when the file changed on disk since it was opened:
    // true overwrites it; false (or no handler) saves beside it under
    // "1." + the old name instead.
    std::function<bool(const QString& fileName)> OnFileChanged;

    bool isOpen() const { return m_open; }
    // Raises "Illegal operation - no file assigned" when no file is open.
    void requireOpen() const { requireFile(); }
    bool changed() const { return m_changed; }
    bool caseSensitive() const { return m_caseSensitive; }
    void close();
    void save();

    // The sorted keys and the cursor.
    int count() const { return int(m_index.size()); }
    const Entry& entry(int i) const;
    QString key(int i) const { return entry(i).key; }
    QByteArray keyBytes(int i) const { return entry(i).keyBytes; }
    void listKeys(QStringList& keys) const;
    bool findKey(const QString& key);
    int indexOf(const QString& key) const; // -1 when missing
    int itemIndex() const { return m_cursor; }
    void setItemIndex(int i);
    bool hasCurrent() const { return m_cursor >= 0 && m_cursor < count(); }
    QString currentKey() const;
    void first();
    void prior();
    void next();
    void last();
    bool bof() const { return m_bof; }
    bool eof() const { return m_eof; }

    // Bodies, expanded when stored compressed.
    QByteArray readItem(int i);
    QByteArray currentItem();
    void addItem(const QString& key, const QByteArray& body);
    void changeCurrent(const QByteArray& body);
    void deleteItem(const QString& key);
    void deleteCurrent();

    // Size of the data section (bodies of deleted items included).
    qint64 dataSize() const { return m_dataSize; }
    // Reads of the working file so far (the cache saves them).
    qint64 workingFileReads() const { return m_workingReads; }

    static bool keyLess(const QString& a, const QString& b, bool caseSensitive);
    static int compareKeys(const QString& a, const QString& b, bool caseSensitive);

protected:
    void requireFile() const;
    void requireWritable() const;
    virtual void opened() {}

private:
    void open();
    void loadIndex(const QByteArray& section);
    void applyCaseSensitivity();
    void sortIndex();
    int lowerBound(const QString& key) const;
    QByteArray readBody(const Entry& e);
    quint32 appendBody(const QByteArray& stored);
    void rememberStamp();
    bool stampChanged() const;
    void dropWorkingFile();
    QByteArray storedForm(const QByteArray& body, quint32& flags) const;
    void removeAt(int i);
    void cachePut(const Entry& e, const QByteArray& body);
    const QByteArray* cacheGet(const Entry& e);
    void cacheClear();
    [[noreturn]] void invalid() const;

    QString m_fileName;
    bool m_open = false;
    bool m_readOnly = false;
    bool m_readOnlyWanted = false;
    bool m_changed = false;
    bool m_caseSensitive = false;
    std::unique_ptr<QFile> m_work;
    qint64 m_dataSize = 0;
    std::vector<Entry> m_index;
    int m_cursor = -1;
    bool m_bof = true;
    bool m_eof = true;
    QDateTime m_stamp;
    qint64 m_stampSize = -1;
    qint64 m_workingReads = 0;

    // Byte-bounded cache of expanded bodies, least recently used dropped first.
    struct Cached {
        quint64 key; // position and stored length
        quint32 flags;
        QByteArray body;
    };
    std::list<Cached> m_cache;
    std::unordered_map<quint64, std::list<Cached>::iterator> m_cacheAt;
    qint64 m_cacheBytes = 0;
};

} // namespace lb
