// Any bytes as a fetched FFA page: the form analysis must neither crash nor
// store a record whose line does not read back into the same record, and a
// page already in the list must add nothing the second time; the progress it
// reports stays inside the page.
#include "ffa/FfaForm.h"
#include "ffa/FfaList.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char* const urls[] = {"http://www.links.com/ffa/links.htm", "http://intranet/a",
                                       "http://127.0.0.1:8642/ffa/x/links.htm", "", "links.htm"};
    const QString url = size ? QString::fromLatin1(urls[data[0] % 5]) : QString();
    const QByteArray page(reinterpret_cast<const char*>(data), qsizetype(size));
    lb::FfaList list;
    list.setLines({QStringLiteral("links=http://www.links.com/other.htm|x|")});
    lb::analyseFfaPage(list, page, url, [](qint64 position, qint64 length) {
        if (position < 0 || position > length)
            std::abort(); // the progress must stay inside the piece
    });
    for (int row = 0; row < list.keyList().count(); ++row) {
        list.selectRow(row);
        const QString line = list.lines().lineOfName(list.keyList().at(row));
        if (row > 0 && (line.count(QLatin1Char('|')) != 37 || list.buildLine() != line))
            std::abort();
    }
    const int before = list.lines().count();
    lb::analyseFfaPage(list, page, url);
    if (list.lines().count() != before)
        std::abort();
    return 0;
}
