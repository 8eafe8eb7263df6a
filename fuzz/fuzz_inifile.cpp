// IniFile on any file: reads never exceed the profile limits, and a value
// written into a damaged file reads back while every other key keeps its value.
#include "common/IniFile.h"
#include "FuzzCheck.h"

#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir(QStringLiteral("/dev/shm/lb-fuzz-ini-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("f.ini"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    lb::IniFile ini(path);
    const QStringList sections = ini.readSections();
    // Every read parses the whole file again: a few reads per input keep the
    // executions fast without losing the shapes a read can see.
    int budget = 12;
    for (const QString& s : sections) {
        const QStringList keys = ini.readSection(s);
        qsizetype bytes = 0;
        for (const QString& k : keys)
            bytes += k.toLocal8Bit().size() + 1;
        FUZZ_CHECK(bytes <= lb::IniFile::MaxKeyListBytes + 1024);
        for (const QString& k : keys) {
            if (--budget < 0)
                break;
            FUZZ_CHECK(ini.readString(s, k).size() <= lb::IniFile::MaxValueLength);
        }
    }

    // Write one key and read everything again.
    const QString section = sections.isEmpty() ? QStringLiteral("Fuzz") : sections.first();
    QStringList before;
    const QStringList keys = ini.readSection(section);
    for (const QString& k : keys)
        before.append(ini.readString(section, k));
    try {
        ini.writeString(section, QStringLiteral("fuzzkey"), QStringLiteral("fuzz value"));
    } catch (...) {
        return 0;
    }
    FUZZ_CHECK(ini.readString(section, QStringLiteral("fuzzkey")) == QStringLiteral("fuzz value"));
    for (qsizetype i = 0; i < keys.size() && i < 8; ++i) {
        if (keys[i].compare(QStringLiteral("fuzzkey"), Qt::CaseInsensitive) == 0)
            continue;
        if (keys.indexOf(keys[i]) != i)
            continue; // a repeated key reads as its first occurrence
        FUZZ_CHECK(ini.readString(section, keys[i]) == before[i]);
    }
    return 0;
}
