// FFA form analysis on any page: it ends, the progress stays inside the page,
// and every record line it adds is one line that reads back under its name.
#include "engines/EngineRecord.h"
#include "ffa/FfaForm.h"
#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray page(reinterpret_cast<const char*>(data), qsizetype(size));
    lb::FfaList list;
    qint64 last = -1;
    const int added =
        lb::analyseFfaPage(list, page, QStringLiteral("http://www.ffa-example.com/links/page.html"),
                           [&](qint64 position, qint64 length) {
                               FUZZ_CHECK(position >= 0 && position <= length);
                               last = position;
                           });
    (void)last;
    FUZZ_CHECK(added >= 0);
    FUZZ_CHECK(list.lines().count() >= added);
    for (int i = 0; i < list.lines().count(); ++i) {
        const QString line = list.lines().at(i);
        FUZZ_CHECK(!line.contains(QLatin1Char('\n')) && !line.contains(QLatin1Char('\r')));
        FUZZ_CHECK(!lb::engineLineName(line).isNull());
    }
    return 0;
}
