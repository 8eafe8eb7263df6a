// The command line's word when "zkt.ini" has turned certificate checks off.
#include "cli/Commands.h"
#include "net/HttpProt.h"

#include <cstdio>
#include <utility>

namespace lb::cli {

void warnWhenChecksOff() {
    // A command runs once per process: one warning, at its first https request.
    net::THttpCli::setChecksOffNotice([warned = false]() mutable {
        if (!std::exchange(warned, true))
            std::fputs("warning: certificate checks are off (Verify=0 in section TLS of zkt.ini)\n",
                       stderr);
    });
}

} // namespace lb::cli
