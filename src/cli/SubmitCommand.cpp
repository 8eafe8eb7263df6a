#include "cli/Commands.h"

#include <cstdio>

namespace lb::cli {

int runSubmit(const QStringList&) {
    std::fputs("linkbeacon-cli: submit is not available in this build\n", stderr);
    return 2;
}

} // namespace lb::cli
