#include "Trickle.h"

#include <algorithm>
#include <cstdlib>

namespace sim {

bool trickleAnswer(const std::string& path, Trickle& out) {
    static const std::string prefix = "/trickle";
    if (path.compare(0, prefix.size(), prefix) != 0)
        return false;
    const std::string rest = path.substr(prefix.size());
    if (!rest.empty() && rest[0] != '/')
        return false;
    int ms = 10;
    if (rest.size() > 1)
        ms = std::clamp(std::atoi(rest.c_str() + 1), 0, 1000);
    const std::string body = "<html><body>Trickled answer.</body></html>\r\n";
    out.data = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
               std::to_string(body.size()) + "\r\n\r\n" + body;
    out.intervalMs = ms;
    return true;
}

} // namespace sim
