#include "cli/Commands.h"

#include <cstdio>

namespace lb::cli {

int runFetch(const QStringList&) {
    std::fputs("linkbeacon-cli: fetch is not available in this build\n", stderr);
    return 2;
}

} // namespace lb::cli
