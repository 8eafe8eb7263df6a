// Engine lines and engine files: a record parsed from any line writes back to
// a line that parses to the same record, a record without separators in its
// values survives the round trip, and the file cipher is its own inverse.
#include "common/LineSplitter.h"
#include "engines/EngineCipher.h"
#include "engines/EngineRecord.h"
#include "FuzzCheck.h"

#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    // Any line: parse, write, parse again.
    const QString line = QString::fromUtf8(bytes);
    const lb::EngineRecord first = lb::EngineRecord::fromLine(line);
    const lb::EngineRecord second = lb::EngineRecord::fromLine(first.toLine());
    // The method is written as exactly "POST" or "GET"; everything else stays.
    FUZZ_CHECK(second.name == first.name);
    for (int f = 0; f < lb::EngineRecord::FieldCount; ++f)
        if (f != lb::EngineRecord::Method)
            FUZZ_CHECK(second[f] == first[f]);
    FUZZ_CHECK(second.isPost() == first.isPost());
    FUZZ_CHECK(lb::engineLineName(first.toLine()) == first.name);

    // A record built from NUL-separated pieces without "|" (and "=" in the
    // name) comes back exactly.
    const QList<QByteArray> pieces = bytes.split('\0');
    lb::EngineRecord built;
    built.name =
        QString::fromUtf8(pieces.value(0)).remove(QLatin1Char('=')).remove(QLatin1Char('|'));
    for (int f = 0; f < lb::EngineRecord::FieldCount; ++f)
        built[f] = QString::fromUtf8(pieces.value(f + 1)).remove(QLatin1Char('|'));
    built.setPost(built[lb::EngineRecord::Method].size() % 2 == 0);
    const lb::EngineRecord back = lb::EngineRecord::fromLine(built.toLine());
    FUZZ_CHECK(back.name == built.name);
    FUZZ_CHECK(back.fields == built.fields);

    // The cipher round trip, and the line splitter keeps every non-break byte.
    FUZZ_CHECK(lb::encipherEngineText(lb::decipherEngineText(bytes)) == bytes);
    const QStringList lines = lb::splitLines(lb::decipherEngineText(bytes));
    for (const QString& l : lines)
        FUZZ_CHECK(!l.contains(QLatin1Char('\n')) && !l.contains(QLatin1Char('\r')));
    return 0;
}
