#include "common/IniFile.h"

#include "common/AsciiText.h"
#include "common/FileError.h"
#include "common/LineSplitter.h"

#include <QFile>
#include <QSaveFile>

#include <atomic>
#include <sys/stat.h>

namespace lb {

// Bumped by every write of any IniFile: a file this process rewrote is never
// served from a cache, whatever its time stamps say.
static std::atomic<quint64> s_writes{0};

static bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

IniFile::Section* IniFile::Document::find(const QString& name) {
    for (Section& s : sections)
        if (sameName(s.name, name))
            return &s;
    return nullptr;
}

const IniFile::Section* IniFile::Document::find(const QString& name) const {
    for (const Section& s : sections)
        if (sameName(s.name, name))
            return &s;
    return nullptr;
}

bool IniFile::stampOf(const QString& path, Stamp* stamp) {
    struct stat st {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0 ||
        !S_ISREG(st.st_mode))
        return false;
    stamp->device = quint64(st.st_dev);
    stamp->inode = quint64(st.st_ino);
    stamp->size = qint64(st.st_size);
    stamp->modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp->changedNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return true;
}

IniFile::Document IniFile::load() const {
    // Stamped before reading: a change made while reading shows as a new
    // stamp next time, never as an old one.
    const quint64 writes = s_writes.load();
    Stamp stamp;
    const bool stamped = stampOf(m_path, &stamp);
    if (stamped && m_cacheValid && m_cachedWrites == writes && m_cachedStamp == stamp)
        return m_cached;
    m_cacheValid = false;
    Document doc;
    QFile file(m_path);
    if (m_path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return doc;
    const QStringList lines = splitLines(decodeText(file.readAll()));
    Section* current = nullptr;
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            const qsizetype close = line.indexOf(QLatin1Char(']'));
            const QString name = (close < 0 ? line.mid(1) : line.mid(1, close - 1)).trimmed();
            current = doc.find(name);
            if (!current) {
                doc.sections.append(Section{name, {}});
                current = &doc.sections.last();
            }
            continue;
        }
        Entry e;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0 || line.startsWith(QLatin1Char(';'))) {
            if (line.isEmpty())
                continue;
            e.hasValue = false;
            e.value = raw;
        } else {
            e.key = line.left(eq).trimmed();
            e.value = line.mid(eq + 1).trimmed();
        }
        if (current)
            current->entries.append(e);
        else
            doc.preamble.append(e);
    }
    if (stamped) {
        m_cached = doc;
        m_cachedStamp = stamp;
        m_cachedWrites = writes;
        m_cacheValid = true;
    }
    return doc;
}

void IniFile::save(const Document& doc) const {
    QByteArray out;
    auto put = [&out](const QList<Entry>& entries) {
        for (const Entry& e : entries) {
            if (e.hasValue)
                out += (e.key + QLatin1Char('=') + e.value).toUtf8();
            else
                out += e.value.toUtf8();
            out += "\r\n";
        }
    };
    put(doc.preamble);
    for (const Section& s : doc.sections) {
        out += (QLatin1Char('[') + s.name + QLatin1Char(']')).toUtf8();
        out += "\r\n";
        put(s.entries);
    }
    QSaveFile file(m_path);
    ++s_writes; // also when the write fails half-way
    m_cacheValid = false;
    if (m_path.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(out) != out.size() ||
        !file.commit())
        throw FileError::cannotWrite(m_path);
}

QString IniFile::readString(const QString& section, const QString& key,
                            const QString& defaultValue) const {
    const Document doc = load();
    if (const Section* s = doc.find(section))
        for (const Entry& e : s->entries)
            if (e.hasValue && sameName(e.key, key))
                return e.value.left(MaxValueLength);
    return defaultValue.left(MaxValueLength);
}

int IniFile::readInteger(const QString& section, const QString& key, int defaultValue) const {
    bool ok = false;
    const int v = readString(section, key).toInt(&ok);
    return ok ? v : defaultValue;
}

bool IniFile::readBool(const QString& section, const QString& key, bool defaultValue) const {
    return readInteger(section, key, defaultValue ? 1 : 0) != 0;
}

QStringList IniFile::readSection(const QString& section) const {
    QStringList keys;
    const Document doc = load();
    const Section* s = doc.find(section);
    if (!s)
        return keys;
    // The profile function fills a buffer of 8192 bytes: each name and its
    // terminating zero, plus one more zero at the end.
    int used = 1;
    for (const Entry& e : s->entries) {
        if (!e.hasValue)
            continue;
        const int need = int(e.key.toLocal8Bit().size()) + 1;
        if (used + need > MaxKeyListBytes)
            break;
        used += need;
        keys.append(e.key);
    }
    return keys;
}

QStringList IniFile::readSectionValues(const QString& section) const {
    QStringList lines;
    const Document doc = load();
    if (const Section* s = doc.find(section))
        for (const Entry& e : s->entries)
            if (e.hasValue)
                lines.append(e.key + QLatin1Char('=') + e.value);
    return lines;
}

QStringList IniFile::readSections() const {
    QStringList names;
    for (const Section& s : load().sections)
        names.append(s.name);
    return names;
}

bool IniFile::sectionExists(const QString& section) const {
    return load().find(section) != nullptr;
}

bool IniFile::valueExists(const QString& section, const QString& key) const {
    const Document doc = load();
    if (const Section* s = doc.find(section))
        for (const Entry& e : s->entries)
            if (e.hasValue && sameName(e.key, key))
                return true;
    return false;
}

void IniFile::setValue(Document& doc, const QString& section, const QString& key,
                       const QString& value) {
    Section* s = doc.find(section);
    if (!s) {
        doc.sections.append(Section{section, {}});
        s = &doc.sections.last();
    }
    // Values are single lines in the file.
    QString v = value;
    v.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    for (Entry& e : s->entries)
        if (e.hasValue && sameName(e.key, key)) {
            e.value = v;
            return;
        }
    s->entries.append(Entry{key, v, true});
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value) {
    Document doc = load();
    setValue(doc, section, key, value);
    save(doc);
}

void IniFile::writeStrings(const QList<Write>& writes, const QString& eraseFirst) {
    Document doc = load();
    if (!eraseFirst.isEmpty())
        doc.sections.removeIf([&](const Section& s) { return sameName(s.name, eraseFirst); });
    for (const Write& w : writes)
        setValue(doc, w.section, w.key, w.value);
    save(doc);
}

void IniFile::writeInteger(const QString& section, const QString& key, int value) {
    writeString(section, key, QString::number(value));
}

void IniFile::writeBool(const QString& section, const QString& key, bool value) {
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void IniFile::deleteKey(const QString& section, const QString& key) {
    Document doc = load();
    Section* s = doc.find(section);
    if (!s)
        return;
    s->entries.removeIf([&](const Entry& e) { return e.hasValue && sameName(e.key, key); });
    save(doc);
}

void IniFile::eraseSection(const QString& section) {
    Document doc = load();
    doc.sections.removeIf([&](const Section& s) { return sameName(s.name, section); });
    save(doc);
}

} // namespace lb
