#pragma once
// INI file with the rules of the Windows profile functions the stores were
// made for: section and key names compared without regard to case, a value
// read returns at most 1023 characters, a section's key list at most 8192
// bytes of names, a missing file or key reads as the default. Every write
// reads the current file, changes it and replaces it atomically with CR LF
// line ends; a failed write throws FileError "Unable to write to " + path.
#include <QList>
#include <QString>
#include <QStringList>

namespace lb {

class IniFile {
public:
    static constexpr int MaxValueLength = 1023;
    static constexpr int MaxKeyListBytes = 8192;

    IniFile() = default;
    explicit IniFile(QString path) : m_path(std::move(path)) {}

    const QString& path() const { return m_path; }
    void setPath(const QString& path) {
        m_path = path;
        m_cacheValid = false;
    }

    QString readString(const QString& section, const QString& key,
                       const QString& defaultValue = QString()) const;
    int readInteger(const QString& section, const QString& key, int defaultValue) const;
    bool readBool(const QString& section, const QString& key, bool defaultValue) const;
    // Key names of a section in file order, cut at 8192 bytes of names.
    QStringList readSection(const QString& section) const;
    // The whole "key=value" lines of a section, in file order.
    QStringList readSectionValues(const QString& section) const;
    QStringList readSections() const;
    bool sectionExists(const QString& section) const;
    bool valueExists(const QString& section, const QString& key) const;

    void writeString(const QString& section, const QString& key, const QString& value);
    // Many writes in one replacement of the file, with the same result as
    // eraseSection(eraseFirst) (when given) and then writeString for each in
    // order: a store of n keys costs one rewrite, not n.
    struct Write {
        QString section, key, value;
    };
    void writeStrings(const QList<Write>& writes, const QString& eraseFirst = QString());
    void writeInteger(const QString& section, const QString& key, int value);
    void writeBool(const QString& section, const QString& key, bool value);
    void deleteKey(const QString& section, const QString& key);
    void eraseSection(const QString& section);

private:
    struct Entry {
        QString key;   // empty with hasValue false: a line kept as it is
        QString value; // or the raw line when !hasValue
        bool hasValue = true;
    };
    struct Section {
        QString name;
        QList<Entry> entries;
    };
    struct Document {
        QList<Entry> preamble; // lines before the first section
        QList<Section> sections;
        Section* find(const QString& name);
        const Section* find(const QString& name) const;
    };

    // What identifies one content of the file without reading it.
    struct Stamp {
        quint64 device = 0, inode = 0;
        qint64 size = 0, modifiedNs = 0, changedNs = 0;
        bool operator==(const Stamp&) const = default;
    };
    static bool stampOf(const QString& path, Stamp* stamp);
    Document load() const;
    static void setValue(Document& doc, const QString& section, const QString& key,
                         const QString& value);
    void save(const Document& doc) const;

    QString m_path;
    // The document last read, reused while the file keeps its stamp and no
    // IniFile of this process has written since: a caller reading many keys
    // parses the file once instead of once a key.
    mutable Document m_cached;
    mutable Stamp m_cachedStamp;
    mutable quint64 m_cachedWrites = 0;
    mutable bool m_cacheValid = false;
};

} // namespace lb
