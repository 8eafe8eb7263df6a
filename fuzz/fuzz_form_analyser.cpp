// Any bytes as a downloaded page: the analyser must neither crash nor
// produce a record whose line reads back differently.
#include "engines/EngineRecord.h"
#include "extractor/FormAnalyser.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte picks the page address, so ports, paths and host
    // mapping are exercised too.
    static const char* const urls[] = {"", "http://www.site.com/dir/page.html",
                                       "http://127.0.0.1:8080/a", "https://x.org", "www.y.net/"};
    const QString url = size ? QString::fromLatin1(urls[data[0] % 5]) : QString();
    lb::FormAnalyserInput in;
    in.pageUrl = url;
    in.engineNames = {QStringLiteral("site"), QStringLiteral("site1"), QStringLiteral("y")};
    in.categoryTypes = {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")};
    in.hostPairs = {{QStringLiteral("site.com"), QStringLiteral("other.com")}};
    lb::EngineRecord r;
    r.setPost(true);
    lb::FindUrlForms(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), in, r);
    const lb::EngineRecord back = lb::EngineRecord::fromLine(r.toLine());
    if (back.name != r.name || back.fields != r.fields)
        std::abort();
    return 0;
}
