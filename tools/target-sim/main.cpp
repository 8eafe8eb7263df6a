// target-sim: a local HTTP/1.0 server of simulated submission targets, for
// tests, benchmarks and demonstrations. One thread, epoll, 127.0.0.1 only.
// Every answer is followed by the server closing the connection.
#include "AuditSite.h"
#include "BatchSite.h"
#include "UpdateArchive.h"
#include "FfaSite.h"
#include "Holding.h"
#include "IndexNowSim.h"
#include "Tls.h"
#include "Trickle.h"
#include "site.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <strings.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

const char kHelp[] =
    "usage: target-sim [--port N] [--log FILE] [--root DIR] [--demo-delay MS]\n"
    "                  [--update-archive FILE [--update-stall N]] [--ffa-pages N]\n"
    "                  [--latency MS|MIN-MAX [--seed N]]\n"
    "                  [--tls-port N [--cert FILE --key FILE | --cert-out FILE]]\n"
    "\n"
    "A local HTTP/1.0 server on 127.0.0.1 answering by path, then closing.\n"
    "  --port N        port to listen on (default 8642); 0 picks a free port and\n"
    "                  prints it as the first line of standard output\n"
    "  --log FILE      append every request as one JSON line: method, target,\n"
    "                  version, headers [[name, value]...], body\n"
    "  --root DIR      folder served under /files/\n"
    "  --demo-delay MS delay of the slow /demo/ targets (default 3000)\n"
    "  --tls-port N    also serve https on this port (0: a free port, printed as\n"
    "                  the second line of standard output), same paths\n"
    "  --cert FILE --key FILE  PEM certificate (chain) and key for https; without\n"
    "                  them a self-signed certificate for localhost, 127.0.0.1\n"
    "                  and ::1 is made at start-up\n"
    "  --cert-out FILE write the generated certificate there (to trust it)\n"
    "  --update-archive FILE  served at /halcyon/en-kestrel.hlz (default: the\n"
    "                  sample en-kestrel.hlz beside this program)\n"
    "  --update-stall N  send only the first N bytes of the archive, then stay\n"
    "                  silent with the connection open\n"
    "  --ffa-pages N   generated FFA pages /ffa/gen/0..N-1/links.htm (default 12)\n"
    "  --latency MS|MIN-MAX  wait before every answer: MS, or a random delay in\n"
    "                  the range, drawn per request from --seed (default 1)\n"
    "\n"
    "Paths:\n"
    "  /                         200 OK, a short page listing these paths\n"
    "  /status/CODE[/PHRASE]     status line CODE PHRASE (PHRASE %-decoded; without\n"
    "                            it the status line has no phrase)\n"
    "  /redirect/N               302 chain: Location /redirect/N-1 ... /redirect/0 = 200\n"
    "  /redirect-to?url=U[&status=S]  S (default 302) with Location: U (%-decoded)\n"
    "  /loop                     302 with Location: /loop, for ever\n"
    "  /delay/MS/REST            waits MS milliseconds, then answers as /REST\n"
    "  /gate/N/REST              held until N requests wait at gate N, then all\n"
    "                            are answered as /REST (504 after 5 s without)\n"
    "  /held                     JSON: requests held now (read, not yet answered),\n"
    "                            the most at once, all so far, the mean held\n"
    "  /hang                     accepts the request and never answers\n"
    "  /trickle[/MS]             a whole answer, one byte every MS ms (default 10)\n"
    "  /close                    closes the connection without answering\n"
    "  /close-in-header          closes in the middle of the answer header\n"
    "  /long-header[/N]          a header line of N bytes (default 9000)\n"
    "  /noheader                 an answer without header, starting with <html>\n"
    "  /lf                       an answer with LF-only line ends\n"
    "  /bytes/N                  200 with N body bytes: byte i is 'a' + i % 26\n"
    "  /echo                     200 text/plain, the request as received\n"
    "  /cookie                   200 with two Set-Cookie lines\n"
    "  /bad-status               status line whose code is not a number\n"
    "  /bad-length               Content-Length that is not a number\n"
    "  /raw?data=D               sends the %-decoded bytes D exactly, then closes\n"
    "  /files/NAME               the file NAME under --root (404 when missing)\n"
    "  /halcyon/en-kestrel.hlz   the update archive (404 when it cannot be read)\n"
    "  /halcyon/en-kestrel.hlz.sig  its signature, the archive's file + \".sig\"\n"
    "  Absolute targets (\"GET http://host/path\", as sent to a proxy) are answered\n"
    "  by their path, so the server also stands in for a proxy.\n"
    "  /indexnow                 an IndexNow endpoint: POST the JSON; 400, 422,\n"
    "                            403 (key file under --root holds another key),\n"
    "                            200 (it holds the key) or 202 (no key file)\n"
    "  /indexnow/busy            429 Too Many Requests\n"
    "  /no-close-notify/REST     (https) answers as /REST, then closes without\n"
    "                            a TLS close_notify\n"
    "  /site/                    a small demo web site with TITLE and META tags\n"
    "  /site/gen/N/              a generated site of N linked pages (pK.html)\n"
    "  /audit/, /robots.txt      the site audit's demo: one page for each issue\n"
    "  /demo/...                 plausible form targets, chosen by a hash of the\n"
    "                            path: most answer 200 OK or 302 to\n"
    "                            /demo/thanks.html, some 404, 500 or \"200 Ok\",\n"
    "                            one in twenty is slow (--demo-delay)\n"
    "  /demo/batch/NAME/...      a batch site: POST submit.cgi with a url field\n"
    "                            answers 302 to thanks.html; info.html and the\n"
    "                            link pages *.html answer 200 OK\n"
    "  /altavista/cgi-bin/query?pg=aq&...&q=Q...  a search service's result pages\n"
    "                            (two per query) listing the demo FFA pages\n"
    "  /ffa/...                  demo FFA link pages with submission forms; the\n"
    "                            generated ones link on to pages 2N+1 and 2N+2\n";

int64_t nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::string percentDecode(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && isxdigit(static_cast<unsigned char>(s[i + 1])) &&
            isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            out += char(std::strtol(s.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else if (s[i] == '+') {
            out += ' ';
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string queryValue(const std::string& query, const std::string& key) {
    size_t pos = 0;
    while (pos <= query.size()) {
        size_t amp = query.find('&', pos);
        if (amp == std::string::npos)
            amp = query.size();
        const std::string pair = query.substr(pos, amp - pos);
        const size_t eq = pair.find('=');
        if (pair.substr(0, eq) == key)
            return eq == std::string::npos ? std::string() : percentDecode(pair.substr(eq + 1));
        pos = amp + 1;
    }
    return std::string();
}

void jsonString(std::string& out, const std::string& s) {
    out += '"';
    for (unsigned char c : s) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c >= 0x7f) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += char(c);
            }
        }
    }
    out += '"';
}

uint32_t fnv1a(const std::string& s) {
    uint32_t h = 2166136261u;
    for (unsigned char c : s) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

struct Request {
    std::string method, target, version, rawHeader, body;
    bool tls = false;
    std::string sni; // server name the https client asked for
    std::vector<std::pair<std::string, std::string>> headers;
};

enum class Phase { Reading, Latency, Waiting, Writing, Draining, Hanging };

struct Conn {
    int fd = -1;
    uint64_t id = 0;
    Phase phase = Phase::Reading;
    std::string in;
    size_t headerEnd = 0; // offset of the body, 0 while the header is incomplete
    size_t bodyLength = 0;
    std::string out;
    size_t outPos = 0;
    uint64_t patternLeft = 0; // generated body bytes still to send
    uint64_t patternOffset = 0;
    bool closeWhenWritten = true;
    bool holdWhenWritten = false; // after the answer, keep the connection open and silent
    std::string delayedTarget;
    int64_t drainUntil = 0;
    bool wantOut = false;
    SSL* ssl = nullptr; // https connections
    bool handshaking = false;
    bool noCloseNotify = false;
    std::string trickle; // answer still to send one byte per tick
    int trickleMs = 0;
    bool held = false;                // counted among the requests held
    std::unique_ptr<Request> pending; // read, answered once the latency has passed
    std::string gateRest;             // what a request at a gate is answered as
};

class Server {
public:
    Server(std::string logPath, std::string root, int demoDelay, int ffaPages)
        : root_(std::move(root)), demoDelay_(demoDelay), ffaPages_(ffaPages) {
        if (!logPath.empty()) {
            logFd_ = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
            if (logFd_ < 0)
                std::fprintf(stderr, "target-sim: cannot open log %s: %s\n", logPath.c_str(),
                             std::strerror(errno));
        }
    }

    bool listenOn(int port) {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(uint16_t(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(listenFd_, 4096) != 0) {
            std::fprintf(stderr, "target-sim: cannot listen on 127.0.0.1:%d: %s\n", port,
                         std::strerror(errno));
            return false;
        }
        socklen_t len = sizeof a;
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        return true;
    }

    int port() const { return port_; }

    bool listenTls(int port, tsim::TlsServer* tls) {
        tls_ = tls;
        tlsListenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(tlsListenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(uint16_t(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(tlsListenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(tlsListenFd_, 4096) != 0) {
            std::fprintf(stderr, "target-sim: cannot listen on 127.0.0.1:%d: %s\n", port,
                         std::strerror(errno));
            return false;
        }
        socklen_t len = sizeof a;
        ::getsockname(tlsListenFd_, reinterpret_cast<sockaddr*>(&a), &len);
        tlsPort_ = ntohs(a.sin_port);
        return true;
    }
    int tlsPort() const { return tlsPort_; }

    int run() {
        epfd_ = ::epoll_create1(EPOLL_CLOEXEC);
        sigset_t mask;
        sigemptyset(&mask);
        sigaddset(&mask, SIGTERM);
        sigaddset(&mask, SIGINT);
        sigprocmask(SIG_BLOCK, &mask, nullptr);
        const int sfd = ::signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
        addFd(listenFd_, EPOLLIN, nullptr);
        if (tlsListenFd_ >= 0)
            addFd(tlsListenFd_, EPOLLIN, &tlsMarker_);
        epoll_event sev{};
        sev.events = EPOLLIN;
        sev.data.ptr = &signalMarker_;
        ::epoll_ctl(epfd_, EPOLL_CTL_ADD, sfd, &sev);

        std::vector<epoll_event> events(1024);
        bool stop = false;
        while (!stop) {
            int timeout = -1;
            if (!timers_.empty())
                timeout = int(std::max<int64_t>(0, timers_.begin()->first - nowMs()));
            const int n = ::epoll_wait(epfd_, events.data(), int(events.size()), timeout);
            if (n < 0 && errno != EINTR)
                break;
            for (int i = 0; i < n; ++i) {
                void* p = events[size_t(i)].data.ptr;
                if (p == &signalMarker_) {
                    stop = true;
                    break;
                }
                if (p == nullptr) {
                    acceptAll(listenFd_, false);
                    continue;
                }
                if (p == &tlsMarker_) {
                    acceptAll(tlsListenFd_, true);
                    continue;
                }
                Conn* c = static_cast<Conn*>(p);
                if (!alive_.count(c))
                    continue;
                const uint32_t ev = events[size_t(i)].events;
                if (ev & (EPOLLIN | EPOLLHUP | EPOLLERR))
                    onReadable(c);
                if (alive_.count(c) && (ev & EPOLLOUT))
                    onWritable(c);
            }
            runTimers();
        }
        for (Conn* c : alive_.all())
            drop(c);
        ::close(listenFd_);
        if (tlsListenFd_ >= 0)
            ::close(tlsListenFd_);
        ::close(sfd);
        ::close(epfd_);
        if (logFd_ >= 0)
            ::close(logFd_);
        return 0;
    }

private:
    void addFd(int fd, uint32_t events, void* ptr) {
        epoll_event ev{};
        ev.events = events;
        ev.data.ptr = ptr;
        ::epoll_ctl(epfd_, EPOLL_CTL_ADD, fd, &ev);
    }

    void setOut(Conn* c, bool want) {
        if (c->wantOut == want)
            return;
        c->wantOut = want;
        epoll_event ev{};
        ev.events = EPOLLIN | (want ? uint32_t(EPOLLOUT) : 0u);
        ev.data.ptr = c;
        ::epoll_ctl(epfd_, EPOLL_CTL_MOD, c->fd, &ev);
    }

    void acceptAll(int listenFd, bool tls) {
        for (;;) {
            const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EMFILE || errno == ENFILE)
                    std::fprintf(stderr, "target-sim: out of file descriptors\n");
                return;
            }
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            Conn* c = new Conn;
            c->fd = fd;
            c->id = ++nextId_;
            if (tls) {
                c->ssl = tls_->newSession(fd);
                c->handshaking = true;
            }
            alive_.insert(c);
            addFd(fd, EPOLLIN, c);
        }
    }

    void drop(Conn* c) {
        release(c);
        if (c->ssl)
            tsim::tlsFree(c->ssl);
        ::close(c->fd);
        alive_.erase(c);
        delete c;
    }

    // recv()/send() of a connection, through TLS for https.
    ssize_t ioRecv(Conn* c, char* buf, size_t len) {
        if (!c->ssl)
            return ::recv(c->fd, buf, len, 0);
        bool wantWrite = false;
        const long n = tsim::tlsRecv(c->ssl, buf, len, &wantWrite);
        if (wantWrite)
            setOut(c, true);
        return n;
    }
    ssize_t ioSend(Conn* c, const char* data, size_t len) {
        if (!c->ssl)
            return ::send(c->fd, data, len, MSG_NOSIGNAL);
        bool wantRead = false;
        return tsim::tlsSend(c->ssl, data, len, &wantRead);
    }

    // Returns true once the handshake is done (or the connection is gone).
    bool handshake(Conn* c) {
        switch (tsim::tlsHandshake(c->ssl)) {
        case tsim::TlsStep::Done:
            c->handshaking = false;
            setOut(c, false);
            return true;
        case tsim::TlsStep::WantRead:
            setOut(c, false);
            return false;
        case tsim::TlsStep::WantWrite:
            setOut(c, true);
            return false;
        default:
            drop(c);
            return false;
        }
    }

    void onReadable(Conn* c) {
        if (c->handshaking && !handshake(c))
            return;
        char buf[65536];
        for (;;) {
            const ssize_t n = ioRecv(c, buf, sizeof buf);
            if (n > 0) {
                if (c->phase == Phase::Reading) {
                    c->in.append(buf, size_t(n));
                    if (c->in.size() > (64u << 20)) {
                        drop(c);
                        return;
                    }
                }
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                // The client went away (or finished reading after our answer).
                drop(c);
                return;
            }
            if (errno == EINTR)
                continue;
            break;
        }
        if (c->phase == Phase::Reading)
            tryRequest(c);
    }

    void tryRequest(Conn* c) {
        if (c->headerEnd == 0) {
            size_t end = c->in.find("\r\n\r\n");
            size_t skip = 4;
            const size_t lfEnd = c->in.find("\n\n");
            if (lfEnd != std::string::npos && (end == std::string::npos || lfEnd < end)) {
                end = lfEnd;
                skip = 2;
            }
            if (end == std::string::npos) {
                if (c->in.size() > 256 * 1024)
                    drop(c);
                return;
            }
            c->headerEnd = end + skip;
            Request r;
            parseHeader(c->in.substr(0, end), r);
            c->bodyLength = 0;
            for (auto& h : r.headers) {
                std::string name = h.first;
                for (char& ch : name)
                    ch = char(tolower(static_cast<unsigned char>(ch)));
                if (name == "content-length")
                    c->bodyLength = size_t(std::strtoull(h.second.c_str(), nullptr, 10));
            }
        }
        if (c->in.size() < c->headerEnd + c->bodyLength)
            return;
        Request r;
        parseHeader(c->in.substr(0, c->headerEnd), r);
        r.rawHeader = c->in.substr(0, c->headerEnd);
        if (c->ssl) {
            r.tls = true;
            r.sni = tsim::tlsServerName(c->ssl);
        }
        r.body = c->in.substr(c->headerEnd, c->bodyLength);
        if (r.target == "/held") { // asked by a test or benchmark: neither logged nor held
            answer(c, 200, "OK", held_.json(nowMs()), std::string(), "application/json");
            return;
        }
        log(r);
        c->held = true;
        held_.hold(nowMs());
        if (latency.active()) {
            c->phase = Phase::Latency;
            c->pending = std::make_unique<Request>(std::move(r));
            timers_.emplace(nowMs() + latency.next(), std::make_pair(c, c->id));
            return;
        }
        c->phase = Phase::Waiting;
        respond(c, r, r.target);
    }

    // The request is answered (or gone): no longer held.
    void release(Conn* c) {
        if (!c->held)
            return;
        c->held = false;
        held_.release(nowMs());
    }

    void atGate(Conn* c, int n) {
        // Answered so when the gate does not fill in time.
        c->delayedTarget = "/status/504/Gate%20Timeout";
        timers_.emplace(nowMs() + 5000, std::make_pair(c, c->id));
        const auto open = gates_.arrive(n, {c, c->id}, [this](const sim::Gates::Waiter& w) {
            Conn* o = static_cast<Conn*>(w.first);
            return alive_.count(o) && o->id == w.second && o->phase == Phase::Waiting;
        });
        for (const sim::Gates::Waiter& w : open) {
            Conn* o = static_cast<Conn*>(w.first);
            respond(o, Request(), o->gateRest);
        }
    }

    static void parseHeader(const std::string& text, Request& r) {
        size_t pos = 0;
        bool first = true;
        while (pos < text.size()) {
            size_t lf = text.find('\n', pos);
            if (lf == std::string::npos)
                lf = text.size();
            std::string line = text.substr(pos, lf - pos);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            pos = lf + 1;
            if (line.empty())
                continue;
            if (first) {
                first = false;
                const size_t s1 = line.find(' ');
                const size_t s2 = s1 == std::string::npos ? s1 : line.find(' ', s1 + 1);
                r.method = line.substr(0, s1);
                if (s1 != std::string::npos)
                    r.target = line.substr(s1 + 1, s2 == std::string::npos ? s2 : s2 - s1 - 1);
                if (s2 != std::string::npos)
                    r.version = line.substr(s2 + 1);
                continue;
            }
            const size_t colon = line.find(':');
            std::string value = colon == std::string::npos ? std::string() : line.substr(colon + 1);
            while (!value.empty() && value.front() == ' ')
                value.erase(0, 1);
            r.headers.emplace_back(line.substr(0, colon), value);
        }
    }

    void log(const Request& r) {
        if (logFd_ < 0)
            return;
        std::string line = "{\"method\":";
        jsonString(line, r.method);
        line += ",\"target\":";
        jsonString(line, r.target);
        line += ",\"version\":";
        jsonString(line, r.version);
        line += ",\"headers\":[";
        for (size_t i = 0; i < r.headers.size(); ++i) {
            if (i)
                line += ',';
            line += '[';
            jsonString(line, r.headers[i].first);
            line += ',';
            jsonString(line, r.headers[i].second);
            line += ']';
        }
        line += "],\"body\":";
        jsonString(line, r.body);
        if (r.tls) {
            line += ",\"tls\":true,\"sni\":";
            jsonString(line, r.sni);
        }
        line += "}\n";
        // One write per line: readers see whole lines right after the answer.
        size_t done = 0;
        while (done < line.size()) {
            const ssize_t n = ::write(logFd_, line.data() + done, line.size() - done);
            if (n <= 0)
                break;
            done += size_t(n);
        }
    }

    static const char* standardPhrase(int code) {
        switch (code) {
        case 200:
            return "OK";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 304:
            return "Not Modified";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        default:
            return "Unknown";
        }
    }

    void answer(Conn* c, int code, const std::string& phrase, const std::string& body,
                const std::string& extra = std::string(), const std::string& type = "text/html") {
        std::string out = "HTTP/1.0 " + std::to_string(code);
        if (!phrase.empty())
            out += " " + phrase;
        out += "\r\nServer: target-sim\r\nContent-Type: " + type +
               "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra + "\r\n" +
               body;
        send(c, std::move(out));
    }

    void page(Conn* c, int code, const std::string& phrase, const std::string& title,
              const std::string& text, const std::string& extra = std::string()) {
        answer(c, code, phrase,
               "<html><head><title>" + title + "</title></head><body><h1>" + title + "</h1><p>" +
                   text + "</p></body></html>\r\n",
               extra);
    }

    void send(Conn* c, std::string data, uint64_t pattern = 0) {
        release(c);
        c->out = std::move(data);
        c->outPos = 0;
        c->patternLeft = pattern;
        c->patternOffset = 0;
        c->phase = Phase::Writing;
        onWritable(c);
    }

    void onWritable(Conn* c) {
        if (c->handshaking) {
            if (handshake(c) && alive_.count(c))
                onReadable(c); // the request may have come with the handshake
            return;
        }
        if (c->phase != Phase::Writing)
            return;
        for (;;) {
            if (c->outPos == c->out.size()) {
                if (c->patternLeft == 0)
                    break;
                const size_t n = size_t(std::min<uint64_t>(c->patternLeft, 65536));
                c->out.resize(n);
                for (size_t i = 0; i < n; ++i)
                    c->out[i] = char('a' + (c->patternOffset + i) % 26);
                c->patternOffset += n;
                c->patternLeft -= n;
                c->outPos = 0;
            }
            const ssize_t n = ioSend(c, c->out.data() + c->outPos, c->out.size() - c->outPos);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                if (errno == EAGAIN || errno == EWOULDBLOCK) {
                    setOut(c, true);
                    return;
                }
                drop(c);
                return;
            }
            c->outPos += size_t(n);
        }
        setOut(c, false);
        if (c->holdWhenWritten) {
            c->phase = Phase::Hanging;
            return;
        }
        finish(c);
    }

    // Answer sent: half-close and wait for the client to close, so that
    // nothing we sent is lost to a reset; give up after a few seconds.
    void finish(Conn* c) {
        c->out.clear();
        c->out.shrink_to_fit();
        c->in.clear();
        c->in.shrink_to_fit();
        if (c->ssl && !c->noCloseNotify)
            tsim::tlsClose(c->ssl);
        ::shutdown(c->fd, SHUT_WR);
        c->phase = Phase::Draining;
        timers_.emplace(nowMs() + 5000, std::make_pair(c, c->id));
    }

    void runTimers() {
        const int64_t now = nowMs();
        while (!timers_.empty() && timers_.begin()->first <= now) {
            auto [c, id] = timers_.begin()->second;
            timers_.erase(timers_.begin());
            if (!alive_.count(c) || c->id != id)
                continue;
            if (c->phase == Phase::Draining) {
                drop(c);
            } else if (c->phase == Phase::Latency) {
                const std::unique_ptr<Request> r = std::move(c->pending);
                c->phase = Phase::Waiting;
                respond(c, *r, r->target);
            } else if (c->phase == Phase::Waiting && !c->trickle.empty()) {
                trickleStep(c);
            } else if (c->phase == Phase::Waiting) {
                Request r;
                respond(c, r, c->delayedTarget);
            }
        }
    }

    void trickleStep(Conn* c) {
        release(c);
        ioSend(c, c->trickle.data(), 1);
        c->trickle.erase(0, 1);
        if (c->trickle.empty())
            finish(c);
        else
            timers_.emplace(nowMs() + c->trickleMs, std::make_pair(c, c->id));
    }

    void respond(Conn* c, const Request& r, const std::string& fullTarget) {
        // An absolute target (a request meant for a proxy) is answered as
        // if this server were the one named in it.
        std::string target = fullTarget;
        if (target.rfind("http://", 0) == 0) {
            const size_t slash = target.find('/', 7);
            target = slash == std::string::npos ? std::string("/") : target.substr(slash);
        }
        std::string path = target, query;
        const size_t q = target.find('?');
        if (q != std::string::npos) {
            path = target.substr(0, q);
            query = target.substr(q + 1);
        }
        auto segments = [&](size_t skip) {
            std::vector<std::string> out;
            size_t pos = skip;
            while (pos <= path.size()) {
                size_t s = path.find('/', pos);
                if (s == std::string::npos)
                    s = path.size();
                out.push_back(path.substr(pos, s - pos));
                pos = s + 1;
            }
            return out;
        };
        auto starts = [&](const char* prefix) { return path.rfind(prefix, 0) == 0; };

        if (starts("/no-close-notify/")) {
            c->noCloseNotify = true;
            respond(c, r, target.substr(16));
        } else if (path == "/" || path.empty()) {
            page(c, 200, "OK", "target-sim", "Simulated targets. See target-sim --help.");
        } else if (starts("/status/")) {
            const auto seg = segments(8);
            const int code = std::atoi(seg[0].c_str());
            std::string phrase = seg.size() > 1 ? percentDecode(seg[1]) : std::string();
            page(c, code, phrase, "Status " + seg[0], phrase);
        } else if (starts("/redirect/")) {
            const int n = std::atoi(path.c_str() + 10);
            if (n <= 0)
                page(c, 200, "OK", "Arrived", "End of the redirection chain.");
            else
                page(c, 302, "Found", "Moved", "Go on.",
                     "Location: /redirect/" + std::to_string(n - 1) + "\r\n");
        } else if (path == "/redirect-to") {
            const std::string status = queryValue(query, "status");
            const int code = status.empty() ? 302 : std::atoi(status.c_str());
            page(c, code, standardPhrase(code), "Moved", "Elsewhere.",
                 "Location: " + queryValue(query, "url") + "\r\n");
        } else if (path == "/loop") {
            page(c, 302, "Found", "Loop", "Again.", "Location: /loop\r\n");
        } else if (starts("/delay/")) {
            const size_t slash = path.find('/', 7);
            const int ms = std::atoi(path.c_str() + 7);
            c->delayedTarget = slash == std::string::npos ? std::string("/") : target.substr(slash);
            c->phase = Phase::Waiting;
            timers_.emplace(nowMs() + ms, std::make_pair(c, c->id));
        } else if (int n = 0; sim::Gates::parse(target, n, c->gateRest)) {
            c->phase = Phase::Waiting;
            atGate(c, n);
        } else if (sim::Trickle t; sim::trickleAnswer(path, t)) {
            c->trickle = std::move(t.data);
            c->trickleMs = t.intervalMs;
            c->phase = Phase::Waiting;
            timers_.emplace(nowMs() + t.intervalMs, std::make_pair(c, c->id));
        } else if (path == "/hang") {
            c->phase = Phase::Hanging;
        } else if (path == "/close") {
            drop(c);
        } else if (path == "/close-in-header") {
            std::string out = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nX-Unfinis";
            ioSend(c, out.data(), out.size());
            drop(c);
        } else if (starts("/long-header")) {
            const auto seg = segments(1);
            const size_t n = seg.size() > 1 ? size_t(std::atol(seg[1].c_str())) : 9000;
            std::string out = "HTTP/1.0 200 OK\r\nX-Long: " + std::string(n, 'x') +
                              "\r\nContent-Type: text/html\r\n\r\n<html>long</html>\r\n";
            send(c, std::move(out));
        } else if (path == "/noheader") {
            send(c, "<html><head><title>No header</title></head>\r\n<body>Answer without "
                    "header.</body></html>\r\n");
        } else if (path == "/lf") {
            send(c, "HTTP/1.0 200 OK\nContent-Type: text/html\nX-Line-Ends: LF\n\n<html>lf "
                    "only</html>\n");
        } else if (starts("/bytes/")) {
            const uint64_t n = std::strtoull(path.c_str() + 7, nullptr, 10);
            send(c,
                 "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                     std::to_string(n) + "\r\n\r\n",
                 n);
        } else if (path == "/echo") {
            answer(c, 200, "OK", r.rawHeader + r.body, std::string(), "text/plain");
        } else if (path == "/cookie") {
            page(c, 200, "OK", "Cookies", "Two cookies.",
                 "Set-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\n");
        } else if (path == "/bad-status") {
            send(c, "HTTP/1.0 abc Broken\r\nContent-Type: text/html\r\n\r\n<html>bad</html>");
        } else if (path == "/bad-length") {
            send(c, "HTTP/1.0 200 OK\r\nContent-Length: lots\r\nContent-Type: "
                    "text/html\r\n\r\n<html>length</html>");
        } else if (path == "/raw") {
            send(c, queryValue(query, "data"));
        } else if (path == "/stall") {
            c->holdWhenWritten = true;
            send(c, queryValue(query, "data"));
        } else if (starts("/files/")) {
            serveFile(c, percentDecode(path.substr(7)));
        } else if (path == targetsim::kUpdateArchiveTarget ||
                   path == targetsim::kUpdateSignatureTarget) {
            const bool signature = path == targetsim::kUpdateSignatureTarget;
            std::string bytes;
            if (!targetsim::readUpdateArchive(updateArchive + (signature ? ".sig" : ""), bytes)) {
                page(c, 404, "Not Found", "Not Found", "No update available.");
            } else if (!signature && updateStallAfter >= 0) {
                c->holdWhenWritten = true;
                send(c, targetsim::stalledAnswer(bytes, uint64_t(updateStallAfter)));
            } else {
                answer(c, 200, "OK", bytes, std::string(), "application/octet-stream");
            }
        } else if (path == "/indexnow" || starts("/indexnow/")) {
            const sim::Answer a = sim::indexNowAnswer(r.method, path, r.body, root_);
            answer(c, a.code, a.phrase, a.body, std::string(), "text/plain");
        } else if (starts("/demo/batch/")) {
            const PageAnswer a = batchSiteAnswer(r.method, path, r.body);
            page(c, a.code, a.phrase, a.title, a.text, a.extraHeaders);
        } else if (starts("/demo/")) {
            demo(c, path);
        } else if (sim::AuditAnswer a; sim::auditSiteAnswer(path, origin(r), a)) {
            answer(c, a.code, standardPhrase(a.code), a.body, a.extraHeaders, a.type);
        } else if (path == "/site" || starts("/site/")) {
            const sim::SitePage p = sim::sitePage(path);
            answer(c, p.code, p.phrase, p.body);
        } else if (ffaRoute(c, path, query)) {
            // answered by the search service emulation or a demo FFA page
        } else {
            page(c, 404, "Not Found", "Not Found", "No such target.");
        }
    }

    // The scheme and host the client asked for, for absolute links back.
    std::string origin(const Request& r) const {
        std::string host = "127.0.0.1:" + std::to_string(r.tls ? tlsPort() : port_);
        for (const auto& h : r.headers)
            if (strcasecmp(h.first.c_str(), "host") == 0 && !h.second.empty()) {
                host = h.second;
                // A client may leave out the port; ours is never the default one.
                if (host.find(':', host.rfind(']') == std::string::npos ? 0 : host.rfind(']')) ==
                    std::string::npos)
                    host += ":" + std::to_string(r.tls ? tlsPort() : port_);
            }
        return (r.tls ? "https://" : "http://") + host;
    }

    bool ffaRoute(Conn* c, const std::string& path, const std::string& query) {
        std::string body;
        int status = 0;
        if (!ffaAnswer(path, query, port_, ffaPages_, status, body))
            return false;
        answer(c, status, standardPhrase(status), body);
        return true;
    }

    void serveFile(Conn* c, const std::string& name) {
        const bool unsafe =
            root_.empty() || name.empty() || name.find("..") != std::string::npos || name[0] == '/';
        std::string data;
        if (!unsafe) {
            const int fd = ::open((root_ + "/" + name).c_str(), O_RDONLY | O_CLOEXEC);
            struct stat st {};
            if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
                char buf[65536];
                ssize_t n;
                while ((n = ::read(fd, buf, sizeof buf)) > 0)
                    data.append(buf, size_t(n));
                ::close(fd);
                std::string type = "application/octet-stream";
                const size_t dot = name.rfind('.');
                const std::string ext = dot == std::string::npos ? "" : name.substr(dot);
                if (ext == ".htm" || ext == ".html")
                    type = "text/html";
                else if (ext == ".txt")
                    type = "text/plain";
                answer(c, 200, "OK", data, std::string(), type);
                return;
            }
            if (fd >= 0)
                ::close(fd);
        }
        page(c, 404, "Not Found", "Not Found", "No such file.");
    }

    void demo(Conn* c, const std::string& path) {
        if (path == "/demo/" || path.rfind("/demo/thanks", 0) == 0) {
            page(c, 200, "OK", "Thank you", "Your site has been added.");
            return;
        }
        const uint32_t h = fnv1a(path) % 20;
        if (h == 0) {
            // A slow target: answer later, as a busy server would.
            c->delayedTarget = "/demo/thanks.html";
            c->phase = Phase::Waiting;
            timers_.emplace(nowMs() + demoDelay_, std::make_pair(c, c->id));
        } else if (h <= 2) {
            page(c, 404, "Not Found", "Not Found", "The submission script is gone.");
        } else if (h == 3) {
            page(c, 500, "Internal Server Error", "Error", "The script failed.");
        } else if (h == 4) {
            page(c, 200, "Ok", "Submission", "Submission received.");
        } else if (h <= 9) {
            page(c, 302, "Found", "Moved", "Thank you.", "Location: /demo/thanks.html\r\n");
        } else {
            page(c, 200, "OK", "Submission accepted",
                 "Thank you, your site will be reviewed shortly.");
        }
    }

    std::string root_;
    int demoDelay_;
    int ffaPages_;

public:
    std::string updateArchive = targetsim::defaultUpdateArchive();
    long long updateStallAfter = -1; // --update-stall: bytes of the archive before silence
    sim::Latency latency;

private:
    int logFd_ = -1;
    int listenFd_ = -1;
    int epfd_ = -1;
    int port_ = 0;
    int tlsListenFd_ = -1;
    int tlsPort_ = 0;
    tsim::TlsServer* tls_ = nullptr;
    uint64_t nextId_ = 0;
    char signalMarker_ = 0;
    char tlsMarker_ = 0;
    struct PtrSet {
        std::unordered_map<Conn*, char> m;
        void insert(Conn* c) { m.emplace(c, 0); }
        void erase(Conn* c) { m.erase(c); }
        size_t count(Conn* c) const { return m.count(c); }
        std::vector<Conn*> all() const {
            std::vector<Conn*> v;
            for (auto& p : m)
                v.push_back(p.first);
            return v;
        }
    } alive_;
    std::multimap<int64_t, std::pair<Conn*, uint64_t>> timers_;
    sim::HeldCount held_;
    sim::Gates gates_;
};

} // namespace

int main(int argc, char** argv) {
    int port = 8642;
    std::string logPath, root;
    int demoDelay = 3000;
    int tlsPort = -1;
    std::string certFile, keyFile, certOut;
    std::string updateArchive;
    long long updateStallAfter = -1;
    int ffaPages = 12;
    sim::Latency latency;
    uint64_t seed = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "target-sim: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (a == "--port") {
            port = std::atoi(value().c_str());
        } else if (a == "--log") {
            logPath = value();
        } else if (a == "--root") {
            root = value();
        } else if (a == "--demo-delay") {
            demoDelay = std::atoi(value().c_str());
        } else if (a == "--tls-port") {
            tlsPort = std::atoi(value().c_str());
        } else if (a == "--cert") {
            certFile = value();
        } else if (a == "--key") {
            keyFile = value();
        } else if (a == "--cert-out") {
            certOut = value();
        } else if (a == "--update-archive") {
            updateArchive = value();
        } else if (a == "--update-stall") {
            updateStallAfter = std::atoll(value().c_str());
        } else if (a == "--ffa-pages") {
            ffaPages = std::atoi(value().c_str());
        } else if (a == "--latency") {
            if (!latency.parse(value())) {
                std::fprintf(stderr, "target-sim: --latency takes MS or MIN-MAX (0 to 600000)\n");
                return 2;
            }
        } else if (a == "--seed") {
            seed = std::strtoull(value().c_str(), nullptr, 10);
        } else {
            std::fprintf(stderr, "target-sim: unknown option %s (see --help)\n", a.c_str());
            return 2;
        }
    }
    rlimit rl{};
    if (getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < rl.rlim_max) {
        rl.rlim_cur = rl.rlim_max;
        setrlimit(RLIMIT_NOFILE, &rl);
    }
    std::signal(SIGPIPE, SIG_IGN);
    Server server(logPath, root, demoDelay, ffaPages);
    if (!updateArchive.empty())
        server.updateArchive = updateArchive;
    server.updateStallAfter = updateStallAfter;
    latency.seed(seed);
    server.latency = latency;
    if (!server.listenOn(port))
        return 1;
    tsim::TlsServer tls;
    if (tlsPort >= 0) {
        std::string error;
        if (certFile.empty() != keyFile.empty()) {
            std::fprintf(stderr, "target-sim: --cert and --key go together\n");
            return 2;
        }
        if (!tls.init(certFile, keyFile, certOut, &error)) {
            std::fprintf(stderr, "target-sim: %s\n", error.c_str());
            return 1;
        }
        if (!server.listenTls(tlsPort, &tls))
            return 1;
    }
    std::printf("%d\n", server.port());
    if (tlsPort >= 0)
        std::printf("%d\n", server.tlsPort());
    std::fflush(stdout);
    return server.run();
}
