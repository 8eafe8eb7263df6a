#include "Hostile.h"

#include <cstdlib>

namespace sim {

namespace {

// A unit of about 64 KiB, so the endless answers go out in large writes.
std::string repeated(const std::string& piece) {
    std::string out;
    while (out.size() < 65536)
        out += piece;
    return out;
}

} // namespace

bool hostileAnswer(const std::string& path, HostileAnswer& out) {
    static const std::string prefix = "/hostile/";
    if (path.compare(0, prefix.size(), prefix) != 0)
        return false;
    const std::string rest = path.substr(prefix.size());
    auto number = [&](size_t from, unsigned long long fallback) {
        if (from >= rest.size())
            return fallback;
        return std::strtoull(rest.c_str() + from, nullptr, 10);
    };
    if (rest == "endless-header") {
        out.head = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n";
        out.repeat = repeated("X-Pad: " + std::string(90, 'x') + "\r\n");
    } else if (rest == "endless-page") {
        // Text without a single tag, so nothing in it ever closes anything.
        out.head = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";
        out.repeat = repeated("endless page without tags, line after line of words\r\n");
    } else if (rest.compare(0, 8, "cut-body") == 0) {
        // /hostile/cut-body[/N[/M]]: Content-Length M (default 1000), N bytes (default 10).
        const size_t slash = rest.find('/', 9);
        const unsigned long long sent = number(9, 10);
        const unsigned long long length =
            slash == std::string::npos ? 1000 : number(slash + 1, 1000);
        out.head = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                   std::to_string(length) + "\r\n\r\n" + std::string(sent, 'c');
    } else if (rest.compare(0, 9, "no-length") == 0) {
        // /hostile/no-length[/N]: N bytes (default 100) and no Content-Length.
        out.head = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" +
                   std::string(number(10, 100), 'n');
    } else if (rest.compare(0, 11, "other-port/") == 0 && rest.size() > 11) {
        // /hostile/other-port/P[/PATH]: 302 to http://127.0.0.1:P/PATH (default /echo).
        const size_t slash = rest.find('/', 11);
        const std::string port = rest.substr(11, slash == std::string::npos ? slash : slash - 11);
        const std::string target = slash == std::string::npos ? "/echo" : rest.substr(slash);
        out.head = "HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1:" + port + target +
                   "\r\nContent-Length: 0\r\n\r\n";
    } else {
        return false;
    }
    return true;
}

} // namespace sim
