// IndexNow endpoint emulation.
//   /indexnow        POST of {"host","key","keyLocation"?,"urlList"}:
//                    400 malformed, 422 key format or a URL of another host,
//                    403 key file found under --root but holding another key,
//                    200 key file holds the key, 202 no key file (pending).
//   /indexnow/busy   429 Too Many Requests, whatever is sent.
#include "IndexNowSim.h"

#include <cctype>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace sim {

namespace {

// Just enough JSON for the protocol: values are kept as strings, arrays of
// strings or "other".
struct Value {
    enum Kind { String, Array, Object, Other } kind = Other;
    std::string text;
    std::vector<Value> items;
    std::map<std::string, Value> members;
};

class Parser {
public:
    explicit Parser(const std::string& s) : s_(s) {}
    bool parse(Value& v) {
        if (!value(v, 0))
            return false;
        ws();
        return i_ == s_.size();
    }

private:
    void ws() {
        while (i_ < s_.size() &&
               (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r'))
            ++i_;
    }
    bool lit(const char* word) {
        const std::string w(word);
        if (s_.compare(i_, w.size(), w) != 0)
            return false;
        i_ += w.size();
        return true;
    }
    static void utf8(std::string& out, unsigned cp) {
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }
    bool hex4(unsigned& cp) {
        if (i_ + 4 > s_.size())
            return false;
        cp = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = s_[i_++];
            cp <<= 4;
            if (c >= '0' && c <= '9')
                cp |= unsigned(c - '0');
            else if (c >= 'a' && c <= 'f')
                cp |= unsigned(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                cp |= unsigned(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }
    bool string(std::string& out) {
        if (i_ >= s_.size() || s_[i_] != '"')
            return false;
        ++i_;
        while (i_ < s_.size()) {
            const unsigned char c = static_cast<unsigned char>(s_[i_++]);
            if (c == '"')
                return true;
            if (c < 0x20)
                return false;
            if (c != '\\') {
                out += char(c);
                continue;
            }
            if (i_ >= s_.size())
                return false;
            const char e = s_[i_++];
            switch (e) {
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            case '/':
                out += '/';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                unsigned cp;
                if (!hex4(cp))
                    return false;
                if (cp >= 0xD800 && cp < 0xDC00 && i_ + 1 < s_.size() && s_[i_] == '\\' &&
                    s_[i_ + 1] == 'u') {
                    i_ += 2;
                    unsigned low;
                    if (!hex4(low) || low < 0xDC00 || low >= 0xE000)
                        return false;
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                }
                utf8(out, cp);
                break;
            }
            default:
                return false;
            }
        }
        return false;
    }
    bool value(Value& v, int depth) {
        if (depth > 32)
            return false;
        ws();
        if (i_ >= s_.size())
            return false;
        const char c = s_[i_];
        if (c == '"') {
            v.kind = Value::String;
            return string(v.text);
        }
        if (c == '[') {
            v.kind = Value::Array;
            ++i_;
            ws();
            if (i_ < s_.size() && s_[i_] == ']') {
                ++i_;
                return true;
            }
            for (;;) {
                v.items.emplace_back();
                if (!value(v.items.back(), depth + 1))
                    return false;
                ws();
                if (i_ < s_.size() && s_[i_] == ',') {
                    ++i_;
                    continue;
                }
                if (i_ < s_.size() && s_[i_] == ']') {
                    ++i_;
                    return true;
                }
                return false;
            }
        }
        if (c == '{') {
            v.kind = Value::Object;
            ++i_;
            ws();
            if (i_ < s_.size() && s_[i_] == '}') {
                ++i_;
                return true;
            }
            for (;;) {
                ws();
                std::string name;
                if (!string(name))
                    return false;
                ws();
                if (i_ >= s_.size() || s_[i_] != ':')
                    return false;
                ++i_;
                Value member;
                if (!value(member, depth + 1))
                    return false;
                v.members[name] = std::move(member);
                ws();
                if (i_ < s_.size() && s_[i_] == ',') {
                    ++i_;
                    continue;
                }
                if (i_ < s_.size() && s_[i_] == '}') {
                    ++i_;
                    return true;
                }
                return false;
            }
        }
        if (lit("true") || lit("false") || lit("null"))
            return true;
        const size_t start = i_;
        while (i_ < s_.size() &&
               (std::isdigit(static_cast<unsigned char>(s_[i_])) || s_[i_] == '-' ||
                s_[i_] == '+' || s_[i_] == '.' || s_[i_] == 'e' || s_[i_] == 'E'))
            ++i_;
        return i_ > start;
    }

    const std::string& s_;
    size_t i_ = 0;
};

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

// Host of an absolute URL, lower case, without user, password or port;
// empty when the URL has none.
std::string urlHost(const std::string& url) {
    const size_t scheme = url.find("://");
    if (scheme == std::string::npos)
        return std::string();
    size_t end = url.find_first_of("/?#", scheme + 3);
    std::string authority =
        url.substr(scheme + 3, end == std::string::npos ? std::string::npos : end - scheme - 3);
    const size_t at = authority.rfind('@');
    if (at != std::string::npos)
        authority = authority.substr(at + 1);
    if (!authority.empty() && authority[0] == '[') {
        const size_t close = authority.find(']');
        return close == std::string::npos ? std::string() : lower(authority.substr(1, close - 1));
    }
    return lower(authority.substr(0, authority.find(':')));
}

std::string urlPath(const std::string& url) {
    const size_t scheme = url.find("://");
    if (scheme == std::string::npos)
        return std::string();
    const size_t slash = url.find('/', scheme + 3);
    if (slash == std::string::npos)
        return "/";
    return url.substr(slash, url.find_first_of("?#", slash) - slash);
}

bool validKey(const std::string& key) {
    if (key.size() < 8 || key.size() > 128)
        return false;
    for (char c : key)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '-'))
            return false;
    return true;
}

// -1: no such file, 0: holds another key, 1: holds the key.
int keyFileHolds(const std::string& root, const std::string& path, const std::string& key) {
    if (root.empty() || path.size() < 2 || path[0] != '/' || path.find("..") != std::string::npos)
        return -1;
    const int fd = ::open((root + path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > 4096) {
        ::close(fd);
        return -1;
    }
    char buf[4097];
    const ssize_t n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    std::string text(buf, n > 0 ? size_t(n) : 0);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text == key ? 1 : 0;
}

Answer make(int code, const char* phrase, const std::string& why) {
    return Answer{code, phrase, why + "\n"};
}

} // namespace

Answer indexNowAnswer(const std::string& method, const std::string& path, const std::string& body,
                      const std::string& root) {
    if (path == "/indexnow/busy")
        return make(429, "Too Many Requests", "Too many submissions; try again later.");
    if (method != "POST")
        return make(400, "Bad Request", "Submit with POST and a JSON body.");
    Value doc;
    if (!Parser(body).parse(doc) || doc.kind != Value::Object)
        return make(400, "Bad Request", "The body is not a JSON object.");
    const auto host = doc.members.find("host");
    const auto key = doc.members.find("key");
    const auto list = doc.members.find("urlList");
    const auto location = doc.members.find("keyLocation");
    if (host == doc.members.end() || host->second.kind != Value::String ||
        key == doc.members.end() || key->second.kind != Value::String ||
        list == doc.members.end() || list->second.kind != Value::Array ||
        (location != doc.members.end() && location->second.kind != Value::String))
        return make(400, "Bad Request", "host, key and urlList are required.");
    if (list->second.items.empty() || list->second.items.size() > 10000)
        return make(400, "Bad Request", "urlList holds 1 to 10000 URLs.");
    for (const Value& u : list->second.items)
        if (u.kind != Value::String)
            return make(400, "Bad Request", "urlList holds strings only.");

    const std::string h = lower(host->second.text);
    if (!validKey(key->second.text))
        return make(422, "Unprocessable Entity", "The key does not match the protocol's format.");
    for (const Value& u : list->second.items)
        if (urlHost(u.text) != h)
            return make(422, "Unprocessable Entity",
                        "A URL does not belong to the host: " + u.text);
    std::string keyPath = "/" + key->second.text + ".txt";
    if (location != doc.members.end()) {
        if (urlHost(location->second.text) != h)
            return make(422, "Unprocessable Entity", "The key location is not on the host.");
        keyPath = urlPath(location->second.text);
    }
    switch (keyFileHolds(root, keyPath, key->second.text)) {
    case 1:
        return make(200, "OK", "URLs submitted.");
    case 0:
        return make(403, "Forbidden", "The key file does not hold the key.");
    default:
        return make(202, "Accepted", "URLs received; key validation pending.");
    }
}

} // namespace sim
