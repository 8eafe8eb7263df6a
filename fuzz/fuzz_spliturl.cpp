// SplitUrl on any text: never crashes, and every part it returns comes from
// the text itself (the host never holds a "/" or "@").
#include "FuzzCheck.h"
#include "net/HttpProt.h"

#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString url = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    QString proto, user, pass, host, port, path;
    lb::net::SplitUrl(url, proto, user, pass, host, port, path);
    for (const QString* part : {&user, &pass, &host, &port, &path})
        FUZZ_CHECK(url.contains(*part));
    FUZZ_CHECK(!host.contains(QLatin1Char('/')));
    FUZZ_CHECK(!host.contains(QLatin1Char('@')));
    FUZZ_CHECK(path.isEmpty() || url.endsWith(path));
    return 0;
}
