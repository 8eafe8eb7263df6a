#include "UpdateArchive.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <unistd.h>

namespace targetsim {

std::string defaultUpdateArchive() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return "en-kestrel.hlz";
    std::string exe(buf, size_t(n));
    const size_t slash = exe.rfind('/');
    return (slash == std::string::npos ? std::string(".") : exe.substr(0, slash)) +
           "/en-kestrel.hlz";
}

bool readUpdateArchive(const std::string& path, std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    bytes.clear();
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.append(chunk, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

std::string stalledAnswer(const std::string& archive, uint64_t bytes) {
    return "HTTP/1.0 200 OK\r\nServer: target-sim\r\nContent-Type: application/octet-stream\r\n"
           "Content-Length: " +
           std::to_string(archive.size()) + "\r\n\r\n" +
           archive.substr(0, size_t(std::min<uint64_t>(bytes, archive.size())));
}

} // namespace targetsim
