#include "net/WSocket.h"

#include "net/SocketErrors.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QHostInfo>
#include <QMutex>
#include <QPointer>
#include <QThread>
#include <QTimerEvent>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lb::net {

namespace {

// At most this many rounds of the read loop per notification, so that one fast
// sender cannot keep every other connection waiting.
constexpr int kMaxReadRounds = 64;

bool parseNumber(QStringView text, long max, long* out) {
    if (text.isEmpty())
        return false;
    long value = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        value = value * 10 + (c.unicode() - '0');
        if (value > max)
            return false;
    }
    *out = value;
    return true;
}

bool isDottedShape(const QString& text) {
    for (QChar c : text)
        if (c != QLatin1Char('.') && c != QLatin1Char(' ') &&
            !(c >= QLatin1Char('0') && c <= QLatin1Char('9')))
            return false;
    return text.contains(QLatin1Char('.'));
}

// Protocol and service names are looked up once per process: each lookup
// reads the system's databases, which would otherwise cost every connection
// several system calls. -1 for a name the system does not know.
int cachedLookup(QHash<QString, int>& cache, const QString& name, int (*lookup)(const char*)) {
    static QMutex mutex; // the lookups are not thread-safe either
    QMutexLocker lock(&mutex);
    const auto found = cache.constFind(name);
    if (found != cache.constEnd())
        return found.value();
    const int value = lookup(name.toLatin1().constData());
    cache.insert(name, value);
    return value;
}

int protocolNumber(const QString& name) {
    static QHash<QString, int> cache;
    return cachedLookup(cache, name, [](const char* n) {
        const protoent* pe = ::getprotobyname(n);
        return pe ? pe->p_proto : -1;
    });
}

int tcpServicePort(const QString& name) {
    static QHash<QString, int> cache;
    return cachedLookup(cache, name, [](const char* n) {
        const servent* se = ::getservbyname(n, "tcp");
        return se ? int(ntohs(quint16(se->s_port))) : -1;
    });
}

// Why a connect cannot start: an error number and its text.
struct Refusal {
    int error = 0;
    QString message;
};

bool refuse(Refusal* why, int error, const QString& message) {
    *why = {error, message};
    return false;
}

// Each step below says (false, and why) when its setting cannot be used.

bool settingsGiven(bool port, bool addr, bool proto, Refusal* why) {
    if (!port)
        return refuse(why, wsaEINVAL, QStringLiteral("Connect: No Port Specified"));
    if (!addr)
        return refuse(why, wsaEINVAL, QStringLiteral("Connect: No IP Address Specified"));
    if (!proto)
        return refuse(why, wsaEINVAL, QStringLiteral("Connect: No Protocol Specified"));
    return true;
}

bool resolveProto(const QString& proto, long* number, Refusal* why) {
    if (proto.size() >= 32)
        return refuse(why, wsaEINVAL, QStringLiteral("WSocketResolveProto: Invalid Protocol."));
    // "tcp", which nearly every connection names, without the locked lookup.
    static const int tcpNumber = protocolNumber(QStringLiteral("tcp"));
    if (tcpNumber >= 0 && proto == QLatin1String("tcp")) {
        *number = tcpNumber;
    } else if (!parseNumber(proto, 255, number)) {
        const int known = protocolNumber(proto);
        if (known >= 0)
            *number = known;
        else if (proto.compare(QLatin1String("tcp"), Qt::CaseInsensitive) == 0)
            *number = IPPROTO_TCP; // no protocol database in minimal systems
        else
            return refuse(
                why, wsaEINVAL,
                QStringLiteral("WSocketResolveProto: Cannot convert protocol '%1'").arg(proto));
    }
    if (*number == IPPROTO_UDP)
        return refuse(why, wsaEINVAL,
                      QStringLiteral("Connect: datagram sockets are not supported"));
    return true;
}

bool resolvePort(const QString& text, quint16* port, Refusal* why) {
    if (text.isEmpty() || text.size() >= 32)
        return refuse(why, wsaEINVAL, QStringLiteral("WSocketResolvePort: Invalid Port."));
    long v = 0;
    if (parseNumber(text, 65535, &v)) {
        *port = quint16(v);
        return true;
    }
    const int known = tcpServicePort(text);
    if (known < 0)
        return refuse(why, wsaEINVAL,
                      QStringLiteral("WSocketResolvePort: Cannot convert port '%1'").arg(text));
    *port = quint16(known);
    return true;
}

// The address to connect to first, as text: the one given when it is a
// numeric address, else the first answer of a blocking lookup (only callers
// that did not resolve first get there).
bool resolveAddress(const QString& addr, QString* first, Refusal* why) {
    if (addr.size() >= 257)
        return refuse(why, wsaEINVAL,
                      QStringLiteral("WSocketResolveHost: '%1' Invalid Hostname.").arg(addr));
    if (TWSocket::isDottedAddress(addr, first) || TWSocket::isIPv6Address(addr, first))
        return true;
    if (isDottedShape(addr))
        return refuse(why, wsaEINVAL,
                      QStringLiteral("WSocketResolveHost: '%1' Invalid IP address.").arg(addr));
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (::getaddrinfo(addr.toUtf8().constData(), nullptr, &hints, &res) != 0 || !res)
        return refuse(
            why, wsaHOST_NOT_FOUND,
            QStringLiteral("WSocketResolveHost: Cannot convert host address '%1'").arg(addr));
    char text[INET6_ADDRSTRLEN] = {};
    if (res->ai_family == AF_INET6)
        ::inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(res->ai_addr)->sin6_addr, text,
                    sizeof text);
    else
        ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr, text,
                    sizeof text);
    ::freeaddrinfo(res);
    *first = QString::fromLatin1(text);
    return true;
}

// The first address, then the ones after it in the last lookup's answer,
// in the resolver's order: tried in turn when a connect fails.
std::vector<QString> connectOrder(const QString& first, const QStringList& lookupAnswer) {
    std::vector<QString> order{first};
    const qsizetype found = lookupAnswer.indexOf(first);
    if (found >= 0)
        order.insert(order.end(), lookupAnswer.begin() + found + 1, lookupAnswer.end());
    return order;
}

} // namespace

TWSocket::TWSocket(QObject* parent) : QObject(parent) {}

TWSocket::~TWSocket() {
    destroying_ = true;
    if (lookupId_ >= 0)
        QHostInfo::abortHostLookup(lookupId_);
    lookupId_ = -1;
    if (fd_ >= 0) {
        unwatch();
        ::close(fd_);
        fd_ = -1;
    }
    SocketDispatcher::forget(watch_);
}

bool TWSocket::isIPv6Address(const QString& text, QString* normalized) {
    const QByteArray t = text.trimmed().toLatin1();
    if (!t.contains(':'))
        return false;
    in6_addr a{};
    if (::inet_pton(AF_INET6, t.constData(), &a) != 1)
        return false;
    if (normalized) {
        char buf[INET6_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET6, &a, buf, sizeof buf);
        *normalized = QString::fromLatin1(buf);
    }
    return true;
}

bool TWSocket::isReservedInvalidName(const QString& name) {
    QString n = name.trimmed().toLower();
    if (n.endsWith(QLatin1Char('.')))
        n.chop(1);
    return n == QLatin1String("invalid") || n.endsWith(QLatin1String(".invalid"));
}

bool TWSocket::isDottedAddress(const QString& text, QString* normalized) {
    // Asked several times for every connection: scan in place, no temporary lists.
    const QStringView t = QStringView(text).trimmed();
    long parts[4] = {};
    int count = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= t.size(); ++i) {
        if (i < t.size() && t[i] != u'.')
            continue;
        if (count == 4 || !parseNumber(t.mid(start, i - start).trimmed(), 255, &parts[count]))
            return false;
        ++count;
        start = i + 1;
    }
    if (count != 4)
        return false;
    if (normalized) {
        char buf[16];
        int n = 0;
        for (int p = 0; p < 4; ++p) {
            if (p)
                buf[n++] = '.';
            const long v = parts[p];
            if (v >= 100)
                buf[n++] = char('0' + v / 100);
            if (v >= 10)
                buf[n++] = char('0' + v / 10 % 10);
            buf[n++] = char('0' + v % 10);
        }
        // Most addresses come in their plain form already: share the text.
        if (t.size() == n && QStringView(text) == QLatin1StringView(buf, n))
            *normalized = text;
        else
            *normalized = QString::fromLatin1(buf, n);
    }
    return true;
}

void TWSocket::report(const QString& message) {
    if (OnError) {
        OnError(this);
        return;
    }
    throw ESocketException(message);
}

void TWSocket::refuseConnect(int error, const QString& message) {
    // A setting that cannot be used is still an error with a number and a
    // text, so a caller that reports LastError never shows "No Error".
    lastError_ = error;
    report(message);
}

void TWSocket::socketError(const QString& function, int error) {
    if (error == wsaECONNRESET || error == wsaENOTCONN)
        closeHandle();
    lastError_ = error;
    report(QStringLiteral("Error %1 in function %2\r\n%3")
               .arg(error)
               .arg(function, socketErrorDesc(error)));
}

bool TWSocket::refuseUnlessClosed(const char* what) {
    if (state_ == wsClosed)
        return false;
    report(QStringLiteral("Cannot change %1 if not closed").arg(QLatin1String(what)));
    return true;
}

void TWSocket::setAddr(const QString& value) {
    if (refuseUnlessClosed("Addr"))
        return;
    addr_ = value.trimmed();
    addrAssigned_ = true;
}

void TWSocket::setPort(const QString& value) {
    if (refuseUnlessClosed("Port"))
        return;
    port_ = value.trimmed();
    portAssigned_ = true;
}

void TWSocket::setProto(const QString& value) {
    if (refuseUnlessClosed("Proto"))
        return;
    proto_ = value.trimmed();
    protoAssigned_ = true;
}

void TWSocket::setLocalAddr(const QString& value) {
    if (refuseUnlessClosed("LocalAddr"))
        return;
    QString v = value.trimmed();
    if (v.isEmpty())
        v = QStringLiteral("0.0.0.0");
    QString normalized;
    if (!isDottedAddress(v, &normalized)) {
        report(QStringLiteral("SetLocalAddr(): Invalid IP address"));
        return;
    }
    localAddr_ = normalized;
}

void TWSocket::setLocalPort(const QString& value) {
    if (refuseUnlessClosed("LocalPort"))
        return;
    localPort_ = value.trimmed();
}

void TWSocket::setSendFlags(int value) {
    if (value != wsSendNormal && value != wsSendUrgent) {
        report(QStringLiteral("Invalid SendFlags"));
        return;
    }
    sendFlags_ = TSocketSendFlags(value);
}

void TWSocket::changeState(TSocketState newState) {
    const TSocketState old = state_;
    if (old == newState)
        return;
    state_ = newState;
    if (OnChangeState)
        OnChangeState(this, old, newState);
}

// ---- name lookup ----------------------------------------------------------

void TWSocket::DnsLookup(const QString& hostName) {
    lastError_ = 0;
    const QString name = hostName.trimmed();
    if (name.isEmpty()) {
        lastError_ = wsaEINVAL;
        report(QStringLiteral("DNS lookup: invalid host name."));
        if (OnDnsLookupDone)
            OnDnsLookupDone(this, wsaEINVAL);
        return;
    }
    if (lookupId_ >= 0)
        QHostInfo::abortHostLookup(lookupId_);
    lookupId_ = -1;
    ++lookupSerial_;
    dnsResult_.clear();
    dnsResultList_.clear();

    QString dotted;
    if (isDottedAddress(name, &dotted) || isIPv6Address(name, &dotted)) {
        dnsResult_ = dotted;
        dnsResultList_ << dotted;
        if (OnDnsLookupDone)
            OnDnsLookupDone(this, 0);
        return;
    }

    const quint64 serial = lookupSerial_;
    if (isReservedInvalidName(name)) {
        // Names under "invalid" never resolve: answer "Host not found" as a
        // lookup would, later, without asking any name server.
        lookupId_ = -2;
        postDeferred(this, [this, serial] {
            if (serial != lookupSerial_)
                return;
            lookupId_ = -1;
            guarded([this] {
                if (OnDnsLookupDone)
                    OnDnsLookupDone(this, wsaHOST_NOT_FOUND);
            });
        });
        return;
    }
    // Answered through a slot named by its signature: a cancelled lookup then
    // leaves nothing behind (a lambda's slot object would leak when the
    // lookup is aborted while it runs).
    lookupId_ = QHostInfo::lookupHost(name, this, SLOT(lookupAnswered(QHostInfo)));
}

void TWSocket::lookupAnswered(const QHostInfo& info) {
    if (lookupId_ < 0 || info.lookupId() != lookupId_)
        return; // cancelled or superseded
    lookupId_ = -1;
    guarded([this, &info] {
        int error = 0;
        switch (info.error()) {
        case QHostInfo::NoError:
            break;
        case QHostInfo::HostNotFound:
            error = wsaHOST_NOT_FOUND;
            break;
        default:
            // The resolver could not answer (no name server reachable,
            // or it failed): the name may exist, it just cannot be looked up now.
            error = wsaTRY_AGAIN;
            break;
        }
        if (error == 0) {
            // IPv6 and IPv4 answers alike, in the resolver's order.
            for (const QHostAddress& a : info.addresses()) {
                if (a.protocol() == QAbstractSocket::IPv4Protocol)
                    dnsResultList_ << a.toString();
                else if (a.protocol() == QAbstractSocket::IPv6Protocol && a.scopeId().isEmpty())
                    dnsResultList_ << a.toString();
            }
            if (dnsResultList_.isEmpty())
                error = wsaNO_DATA;
            else
                dnsResult_ = dnsResultList_.first();
        }
        if (OnDnsLookupDone)
            OnDnsLookupDone(this, quint16(error));
    });
}

void TWSocket::CancelDnsLookup() {
    if (lookupId_ == -1)
        return;
    if (lookupId_ >= 0)
        QHostInfo::abortHostLookup(lookupId_);
    lookupId_ = -1;
    ++lookupSerial_;
    if (!destroying_ && OnDnsLookupDone)
        OnDnsLookupDone(this, wsaEINTR);
}

// ---- connecting -----------------------------------------------------------

void TWSocket::Connect() {
    lastError_ = 0;
    if (fd_ >= 0 && state_ != wsClosed) {
        refuseConnect(wsaEISCONN, QStringLiteral("Connect: Socket already in use"));
        return;
    }
    long protoNumber = 0;
    quint16 remotePort = 0;
    quint16 localPort = 0;
    QString first;
    Refusal why;
    if (!settingsGiven(portAssigned_ && !port_.isEmpty(), addrAssigned_ && !addr_.isEmpty(),
                       protoAssigned_ && !proto_.isEmpty(), &why) ||
        !resolveProto(proto_, &protoNumber, &why) || !resolvePort(port_, &remotePort, &why) ||
        !resolvePort(localPort_, &localPort, &why) || !resolveAddress(addr_, &first, &why)) {
        refuseConnect(why.error, why.message);
        return;
    }
    candidates_ = connectOrder(first, dnsResultList_);
    remotePort_ = remotePort;
    localPortNumber_ = localPort;

    // Nothing of an earlier connection carries over.
    sendQueue_.clear();
    writePosted_ = false;
    dataSentDue_ = false;
    peerClosed_ = false;
    peerError_ = 0;
    closeNotified_ = false;
    tls_.reset();
    tlsPhase_ = TlsPhase::None;
    tlsError_.clear();
    tlsWriteWantsRead_ = false;

    QString failure;
    const int err = openAndConnect(&failure);
    if (err != 0) {
        lastError_ = err;
        report(failure);
    }
}

// Opens a socket for the next candidate address and starts its connect.
// Immediate failures move on to the next address; 0 when a connect is under
// way, else the error of the last address with its report text.
int TWSocket::openAndConnect(QString* failure) {
    int err = 0;
    while (!candidates_.empty()) {
        const QString address = candidates_.front();
        candidates_.erase(candidates_.begin());
        const bool last = candidates_.empty();
        if (fd_ >= 0) {
            unwatch();
            ::close(fd_);
            fd_ = -1;
        }

        sockaddr_storage remote{};
        socklen_t remoteLen = 0;
        const bool v6 = address.contains(QLatin1Char(':'));
        if (v6) {
            auto* a = reinterpret_cast<sockaddr_in6*>(&remote);
            a->sin6_family = AF_INET6;
            a->sin6_port = htons(remotePort_);
            ::inet_pton(AF_INET6, address.toLatin1().constData(), &a->sin6_addr);
            remoteLen = sizeof(sockaddr_in6);
        } else {
            auto* a = reinterpret_cast<sockaddr_in*>(&remote);
            a->sin_family = AF_INET;
            a->sin_port = htons(remotePort_);
            ::inet_pton(AF_INET, address.toLatin1().constData(), &a->sin_addr);
            remoteLen = sizeof(sockaddr_in);
        }

        const int fd =
            ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            err = errnoToSocketError(errno);
            *failure = QStringLiteral("Error %1 in function Connect (socket)\r\n%2")
                           .arg(err)
                           .arg(socketErrorDesc(err));
            continue;
        }
        fd_ = fd;
        if (state_ != wsConnecting)
            changeState(wsOpened);

        if (localPortNumber_ != 0 || localAddr_ != QLatin1String("0.0.0.0")) {
            sockaddr_storage local{};
            socklen_t localLen = 0;
            if (v6) {
                auto* l = reinterpret_cast<sockaddr_in6*>(&local);
                l->sin6_family = AF_INET6;
                l->sin6_port = htons(localPortNumber_);
                l->sin6_addr = in6addr_any;
                localLen = sizeof(sockaddr_in6);
            } else {
                auto* l = reinterpret_cast<sockaddr_in*>(&local);
                l->sin_family = AF_INET;
                l->sin_port = htons(localPortNumber_);
                ::inet_pton(AF_INET, localAddr_.toLatin1().constData(), &l->sin_addr);
                localLen = sizeof(sockaddr_in);
            }
            if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), localLen) != 0) {
                err = errnoToSocketError(errno);
                *failure = QStringLiteral("winsock.bind failed, error #%1").arg(err);
                if (last)
                    return err;
                continue;
            }
            socklen_t len = sizeof local;
            if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &len) != 0) {
                err = errnoToSocketError(errno);
                *failure = QStringLiteral("winsock.getsockname failed, error #%1").arg(err);
                if (last)
                    return err;
                continue;
            }
            localPort_ =
                QString::number(ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&local)->sin6_port
                                         : reinterpret_cast<sockaddr_in*>(&local)->sin_port));
        }
        auto optionFailed = [&](const char* function) {
            err = errnoToSocketError(errno);
            *failure = QStringLiteral("Error %1 in function %2\r\n%3")
                           .arg(err)
                           .arg(QLatin1String(function), socketErrorDesc(err));
        };
        if (lingerOnOff_ != wsLingerNoSet) {
            linger l{};
            l.l_onoff = lingerOnOff_ == wsLingerOn ? 1 : 0;
            l.l_linger = lingerTimeout_;
            if (::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l) != 0) {
                optionFailed("setsockopt(SO_LINGER)");
                if (last)
                    return err;
                continue;
            }
        }
        const int on = 1;
        if (::setsockopt(fd_, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0) {
            optionFailed("setsockopt(SO_KEEPALIVE)");
            if (last)
                return err;
            continue;
        }
        if (::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
            optionFailed("setsockopt(SO_REUSEADDR)");
            if (last)
                return err;
            continue;
        }
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&remote), remoteLen) != 0 &&
            errno != EINPROGRESS) {
            optionFailed("Connect");
            if (last)
                return err;
            continue;
        }
        // Completion (or an immediate success) shows up as the first writability.
        setWatch(false, true);
        changeState(wsConnecting);
        stopConnectTimer();
        connectTimer_ = startTimer(connectTimeoutMs_, Qt::CoarseTimer);
        return 0;
    }
    return err ? err : wsaEINVAL;
}

bool TWSocket::tryNextAddress() {
    if (candidates_.empty())
        return false;
    QString failure;
    const int err = openAndConnect(&failure);
    if (err == 0)
        return true;
    lastError_ = err;
    return false;
}

// ---- notifications --------------------------------------------------------

void TWSocket::setWatch(bool read, bool write) {
    wantRead_ = read;
    wantWrite_ = write;
    if (fd_ < 0)
        return;
    // EPOLLRDHUP tells, with the data, that the peer has finished sending.
    const uint32_t events =
        (read ? uint32_t(EPOLLIN | EPOLLRDHUP) : 0u) | (write ? uint32_t(EPOLLOUT) : 0u);
    if (!SocketDispatcher::watch(watch_, fd_, events, this))
        qWarning("TWSocket: cannot watch socket %d: %s", fd_, strerror(errno));
}

// Before the descriptor is closed.
void TWSocket::unwatch() {
    wantRead_ = false;
    wantWrite_ = false;
    SocketDispatcher::forget(watch_);
}

void TWSocket::socketReady(uint32_t events) {
    const bool failed = events & (EPOLLERR | EPOLLHUP);
    const bool writable = wantWrite_ && (failed || (events & EPOLLOUT));
    const bool readable = wantRead_ && (failed || (events & EPOLLIN));
    if (writable && state_ == wsConnecting) {
        onWritable(events); // the connect's outcome comes before anything else
        return;
    }
    if (!writable) {
        if (readable)
            onReadable(events);
        return;
    }
    QPointer<TWSocket> self(this);
    const quint64 conn = connection_;
    if (readable) {
        onReadable(events);
        if (!self || conn != connection_)
            return;
    }
    if (wantWrite_)
        onWritable(events);
}

bool TWSocket::event(QEvent* e) {
    if (e->type() == QEvent::ThreadChange && watch_.slot != SocketDispatcher::kNoSlot) {
        // Leave this thread's set now; the new thread's set takes the socket
        // from that thread's event loop (posted events move along).
        const bool read = wantRead_;
        const bool write = wantWrite_;
        SocketDispatcher::forget(watch_);
        wantRead_ = read;
        wantWrite_ = write;
        const quint64 conn = connection_;
        QMetaObject::invokeMethod(
            this,
            [this, conn] {
                if (conn == connection_ && fd_ >= 0 && watch_.slot == SocketDispatcher::kNoSlot)
                    setWatch(wantRead_, wantWrite_);
            },
            Qt::QueuedConnection);
    }
    return QObject::event(e);
}

void TWSocket::guarded(const std::function<void()>& step) {
    QPointer<TWSocket> self(this);
    auto handle = [&](const std::exception& e) {
        if (!self)
            return;
        bool canClose = true;
        if (OnBgException) {
            try {
                OnBgException(this, e, canClose);
            } catch (...) {
                canClose = true;
            }
        }
        if (self && canClose) {
            try {
                Abort();
            } catch (...) {
            }
        }
    };
    try {
        step();
    } catch (const std::exception& e) {
        handle(e);
    } catch (...) {
        handle(std::runtime_error("Unknown exception"));
    }
}

void TWSocket::onReadable(uint32_t events) {
    guarded([this, events] {
        QPointer<TWSocket> self(this);
        const quint64 conn = connection_;
        if (tlsPhase_ == TlsPhase::Handshake) {
            tlsHandshakeStep();
            return;
        }
        if (tlsWriteWantsRead_) {
            tlsWriteWantsRead_ = false;
            if (tryToSend()) {
                if (!self || conn != connection_)
                    return;
                watchWrite(false);
                queueEmptied();
            }
            if (!self || conn != connection_ || fd_ < 0)
                return;
        }
        readLoop((events & EPOLLRDHUP) && !(events & (EPOLLERR | EPOLLHUP)));
        if (!self || conn != connection_ || fd_ < 0)
            return;
        if (peerClosed_ && state_ != wsConnecting)
            closeStep(peerError_);
    });
}

// peerFinished: the readiness report said the peer had sent its last byte
// (and no error), so everything it sent was waiting when it was reported.
void TWSocket::readLoop(bool peerFinished) {
    QPointer<TWSocket> self(this);
    const quint64 conn = connection_;
    for (int round = 0; round < kMaxReadRounds; ++round) {
        receiveCalls_ = 0;
        lastReceiveWouldBlock_ = false;
        lastReceiveShort_ = false;
        if (OnDataAvailable)
            OnDataAvailable(this, 0);
        if (!self || conn != connection_ || fd_ < 0)
            return;
        if (receiveCalls_ == 0 && tlsPhase_ == TlsPhase::Open) {
            char junk[1024];
            Receive(junk, sizeof junk);
            if (!self || conn != connection_ || fd_ < 0)
                return;
        } else if (receiveCalls_ == 0) {
            // Nobody took the data: drop some so the notification stops firing.
            char junk[1024];
            const ssize_t n = ::recv(fd_, junk, sizeof junk, 0);
            if (n > 0) {
                readCount_ += n;
            } else if (n == 0) {
                peerClosed_ = true;
            } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
                lastReceiveWouldBlock_ = true;
            } else if (errno != EINTR) {
                peerClosed_ = true;
                peerError_ = errnoToSocketError(errno);
            }
        }
        if (peerClosed_ || lastReceiveWouldBlock_)
            return;
        // Decrypted bytes already held come out without waiting for the network.
        if (tls_ && tls_->hasPending())
            continue;
        // A read that did not fill its buffer emptied the socket: no need to
        // ask. If the peer had finished, nothing follows: the next read would
        // only report the end, so the end is taken now.
        if (lastReceiveShort_ && !tls_) {
            if (peerFinished)
                peerClosed_ = true;
            return;
        }
        int waiting = 0;
        if (::ioctl(fd_, FIONREAD, &waiting) != 0 || waiting <= 0)
            return;
    }
    if (tls_ && tls_->hasPending())
        postTlsRead();
}

void TWSocket::postTlsRead() {
    if (tlsReadPosted_)
        return;
    tlsReadPosted_ = true;
    const quint64 conn = connection_;
    postDeferred(this, [this, conn] {
        if (conn != connection_)
            return;
        tlsReadPosted_ = false;
        onReadable();
    });
}

// ---- TLS ------------------------------------------------------------------

void TWSocket::StartTls(const TlsOptions& options, const QString& hostName) {
    if (fd_ < 0 || state_ != wsConnected) {
        socketError(QStringLiteral("StartTls"), wsaENOTCONN);
        return;
    }
    tls_ = std::make_unique<TlsSession>();
    tlsError_.clear();
    tlsCloseNotify_ = false;
    tlsWriteWantsRead_ = false;
    tlsPhase_ = TlsPhase::Handshake;
    if (!tls_->start(fd_, options, hostName)) {
        setWatch(false, false);
        // Reported from the event loop, like every other outcome of the handshake.
        const quint64 conn = connection_;
        postDeferred(this, [this, conn] {
            if (conn != connection_ || !tls_)
                return;
            guarded([this] { tlsFailed(tls_->errorNumber(), tls_->error()); });
        });
        return;
    }
    // The first step runs from the event loop once the socket is writable.
    setWatch(false, true);
}

void TWSocket::tlsHandshakeStep() {
    switch (tls_->handshake()) {
    case TlsSession::Ok: {
        tlsPhase_ = TlsPhase::Open;
        setWatch(true, false);
        QPointer<TWSocket> self(this);
        const quint64 conn = connection_;
        if (OnTlsDone)
            OnTlsDone(this, 0);
        if (self && conn == connection_ && tls_ && tls_->hasPending())
            postTlsRead();
        return;
    }
    case TlsSession::WantRead:
        setWatch(true, false);
        return;
    case TlsSession::WantWrite:
        setWatch(false, true);
        return;
    default:
        tlsFailed(tls_->errorNumber(), tls_->error());
        return;
    }
}

void TWSocket::tlsFailed(int error, const QString& text) {
    tlsError_ = text;
    lastError_ = error;
    setWatch(false, false);
    tlsPhase_ = TlsPhase::None; // nothing more goes through this session
    closeStep(error);
}

void TWSocket::closeStep(int error) {
    QPointer<TWSocket> self(this);
    const quint64 conn = connection_;
    if (!closeNotified_) {
        closeNotified_ = true;
        if (OnSessionClosed)
            OnSessionClosed(this, quint16(error));
        if (!self || conn != connection_)
            return;
    }
    if (state_ != wsClosed)
        Close();
}

void TWSocket::onWritable(uint32_t events) {
    guarded([this, events] {
        QPointer<TWSocket> self(this);
        const quint64 conn = connection_;
        if (tlsPhase_ == TlsPhase::Handshake) {
            tlsHandshakeStep();
            return;
        }
        if (state_ == wsConnecting) {
            // Writable without an error or hang-up: the connect succeeded, no
            // need to ask for its result.
            int soError = 0;
            socklen_t len = sizeof soError;
            const bool plainlyConnected = (events & EPOLLOUT) && !(events & (EPOLLERR | EPOLLHUP));
            if (!plainlyConnected && ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &soError, &len) != 0)
                soError = errno;
            connectFinished(errnoToSocketError(soError));
            return;
        }
        if (tryToSend()) {
            if (!self || conn != connection_)
                return;
            watchWrite(false);
            queueEmptied();
        }
    });
}

// The outcome of a connect attempt: on failure the next address, if any;
// the owner hears only of the last.
void TWSocket::connectFinished(int error) {
    QPointer<TWSocket> self(this);
    const quint64 conn = connection_;
    stopConnectTimer();
    if (error != 0 && !candidates_.empty()) {
        if (tryNextAddress())
            return;
        error = lastError_;
    }
    // Connected: from now on the socket is read; a failed one waits for
    // nothing more.
    setWatch(error == 0, false);
    changeState(wsConnected);
    if (!self || conn != connection_)
        return;
    if (OnSessionConnected)
        OnSessionConnected(this, quint16(error));
    if (!self || conn != connection_)
        return;
    if (error != 0 && state_ != wsClosed)
        Close();
}

void TWSocket::stopConnectTimer() {
    if (connectTimer_ != 0)
        killTimer(connectTimer_);
    connectTimer_ = 0;
}

void TWSocket::timerEvent(QTimerEvent* e) {
    if (e->timerId() != connectTimer_) {
        QObject::timerEvent(e);
        return;
    }
    stopConnectTimer();
    // A host that drops our packets would keep the connect pending for
    // minutes; give up as the stack the program was first written for does.
    if (state_ == wsConnecting && fd_ >= 0)
        guarded([this] { connectFinished(wsaETIMEDOUT); });
}

void TWSocket::onPostedWrite() {
    guarded([this] {
        QPointer<TWSocket> self(this);
        const quint64 conn = connection_;
        if (fd_ < 0 || state_ != wsConnected || tlsPhase_ == TlsPhase::Handshake)
            return;
        if (tryToSend()) {
            if (!self || conn != connection_)
                return;
            watchWrite(false);
            queueEmptied();
        }
    });
}

void TWSocket::queueEmptied() {
    // Once per emptied queue, whether the posted notification or the
    // socket's writability saw it empty first.
    if (!dataSentDue_)
        return;
    dataSentDue_ = false;
    if (OnDataSent)
        OnDataSent(this, 0);
}

// ---- sending --------------------------------------------------------------

int TWSocket::Send(const void* data, int len) {
    if (state_ != wsConnected) {
        socketError(QStringLiteral("Send"), wsaENOTCONN);
        return -1;
    }
    const char* p = static_cast<const char*>(data);
    int left = len > 0 ? len : 0;
    QPointer<TWSocket> self(this);
    const quint64 conn = connection_;
    dataSentDue_ = true;
    if (left > 0 && !tls_ && fd_ >= 0 && dropSentBuffers()) {
        // Nothing waiting: straight out from the caller's bytes; only what
        // the socket does not take now is queued. Failures are left to the
        // queued send below, which reports them.
        const int flags = MSG_NOSIGNAL | (sendFlags_ == wsSendUrgent ? MSG_OOB : 0);
        ssize_t sent;
        do
            sent = ::send(fd_, p, size_t(left), flags);
        while (sent < 0 && errno == EINTR);
        if (sent > 0) {
            p += sent;
            left -= int(sent);
            if (OnSendData) {
                OnSendData(this, int(sent));
                if (!self || conn != connection_)
                    return len;
            }
        }
    }
    while (left > 0) {
        if (sendQueue_.empty() || sendQueue_.back().tail == SendBuffer::kSize)
            sendQueue_.emplace_back();
        SendBuffer& b = sendQueue_.back();
        const int n = std::min(left, SendBuffer::kSize - b.tail);
        std::memcpy(b.data + b.tail, p, size_t(n));
        b.tail += n;
        p += n;
        left -= n;
    }
    if (tryToSend() && self && conn == connection_ && !writePosted_) {
        // Everything left at once: still tell the owner later, never from inside Send.
        writePosted_ = true;
        postDeferred(this, [this, conn] {
            if (conn != connection_)
                return;
            writePosted_ = false;
            onPostedWrite();
        });
    }
    return len > 0 ? len : 0;
}

// Drops the buffers sent in full, keeping the last one (emptied) for reuse;
// true when nothing is left to send.
bool TWSocket::dropSentBuffers() {
    while (!sendQueue_.empty() && sendQueue_.front().head == sendQueue_.front().tail) {
        if (sendQueue_.size() == 1) {
            sendQueue_.front().head = sendQueue_.front().tail = 0;
            return true;
        }
        sendQueue_.pop_front();
    }
    return sendQueue_.empty();
}

// Sends queued buffers in order; true when the queue is empty afterwards.
bool TWSocket::tryToSend() {
    QPointer<TWSocket> self(this);
    const quint64 conn = connection_;
    if (tls_)
        return tlsTryToSend();
    while (fd_ >= 0) {
        if (dropSentBuffers())
            return true;
        iovec iov[64];
        int count = 0;
        for (auto it = sendQueue_.begin(); it != sendQueue_.end() && count < 64; ++it) {
            if (it->tail == it->head)
                continue;
            iov[count].iov_base = it->data + it->head;
            iov[count].iov_len = size_t(it->tail - it->head);
            ++count;
        }
        msghdr msg{};
        msg.msg_iov = iov;
        msg.msg_iovlen = size_t(count);
        const int flags = MSG_NOSIGNAL | (sendFlags_ == wsSendUrgent ? MSG_OOB : 0);
        const ssize_t sent = ::sendmsg(fd_, &msg, flags);
        if (sent < 0) {
            const int e = errno;
            if (e == EINTR)
                continue;
            if (e == EAGAIN || e == EWOULDBLOCK) {
                watchWrite(true);
                return false;
            }
            const int err = errnoToSocketError(e);
            lastError_ = err;
            if (err == wsaECONNRESET || err == wsaENOTSOCK || err == wsaENOTCONN ||
                err == wsaEINVAL || err == wsaECONNABORTED) {
                const bool notify = !closeNotified_;
                closeNotified_ = true;
                Close();
                if (self && notify && OnSessionClosed)
                    OnSessionClosed(this, quint16(err));
                return false;
            }
            socketError(QStringLiteral("TryToSend failed"), err);
            return false;
        }
        ssize_t left = sent;
        for (auto& b : sendQueue_) {
            if (left == 0)
                break;
            const ssize_t take = std::min<ssize_t>(left, b.tail - b.head);
            b.head += int(take);
            left -= take;
        }
        if (OnSendData) {
            OnSendData(this, int(sent));
            if (!self || conn != connection_)
                return false;
        }
    }
    return false;
}

// Over TLS each buffer goes through the session; a write that would block
// is offered again later with the same bytes.
bool TWSocket::tlsTryToSend() {
    QPointer<TWSocket> self(this);
    const quint64 conn = connection_;
    if (tlsPhase_ != TlsPhase::Open)
        return false;
    while (fd_ >= 0 && tls_) {
        if (dropSentBuffers())
            return true;
        SendBuffer& b = sendQueue_.front();
        TlsSession::Result result;
        const int sent = tls_->write(b.data + b.head, b.tail - b.head, &result);
        if (sent <= 0) {
            if (result == TlsSession::WantWrite) {
                watchWrite(true);
                return false;
            }
            if (result == TlsSession::WantRead) {
                tlsWriteWantsRead_ = true;
                watchRead(true);
                return false;
            }
            const int err = tls_->errorNumber() ? tls_->errorNumber() : wsaECONNRESET;
            lastError_ = err;
            if (!tls_->error().isEmpty())
                tlsError_ = tls_->error();
            const bool notify = !closeNotified_;
            closeNotified_ = true;
            tlsPhase_ = TlsPhase::None;
            Close();
            if (self && notify && OnSessionClosed)
                OnSessionClosed(this, quint16(err));
            return false;
        }
        b.head += sent;
        if (OnSendData) {
            OnSendData(this, sent);
            if (!self || conn != connection_)
                return false;
        }
    }
    return false;
}

// ---- receiving ------------------------------------------------------------

int TWSocket::Receive(void* buffer, int len) {
    if (fd_ < 0) {
        lastError_ = wsaENOTSOCK;
        return -1;
    }
    if (len <= 0)
        return 0;
    ++receiveCalls_;
    if (tls_) {
        if (tlsPhase_ != TlsPhase::Open) {
            lastReceiveWouldBlock_ = true;
            lastError_ = wsaEWOULDBLOCK;
            return -1;
        }
        TlsSession::Result result;
        const int n = tls_->read(static_cast<char*>(buffer), len, &result);
        if (n > 0) {
            readCount_ += n;
            return n;
        }
        switch (result) {
        case TlsSession::WantRead:
        case TlsSession::WantWrite:
            lastReceiveWouldBlock_ = true;
            lastError_ = wsaEWOULDBLOCK;
            return -1;
        case TlsSession::Closed:
            peerClosed_ = true;
            tlsCloseNotify_ = tls_->closeNotifyReceived();
            return 0;
        default:
            lastError_ = tls_->errorNumber();
            if (!tls_->error().isEmpty())
                tlsError_ = tls_->error();
            peerClosed_ = true;
            peerError_ = lastError_;
            return -1;
        }
    }
    for (;;) {
        const ssize_t n = ::recv(fd_, buffer, size_t(len), 0);
        if (n > 0) {
            readCount_ += n;
            lastReceiveShort_ = n < len;
            return int(n);
        }
        if (n == 0) {
            peerClosed_ = true;
            return 0;
        }
        const int e = errno;
        if (e == EINTR)
            continue;
        if (e == EAGAIN || e == EWOULDBLOCK) {
            lastReceiveWouldBlock_ = true;
            lastError_ = wsaEWOULDBLOCK;
            return -1;
        }
        lastError_ = errnoToSocketError(e);
        peerClosed_ = true;
        peerError_ = lastError_;
        return -1;
    }
}

// ---- closing --------------------------------------------------------------

void TWSocket::closeHandle() {
    stopConnectTimer();
    tls_.reset();
    tlsPhase_ = TlsPhase::None;
    if (fd_ >= 0) {
        unwatch();
        ::close(fd_);
        fd_ = -1;
        ++connection_;
    }
    changeState(wsClosed);
}

void TWSocket::restoreDefaults() {
    addrAssigned_ = false;
    portAssigned_ = false;
    proto_ = QStringLiteral("tcp");
    protoAssigned_ = true;
    localAddr_ = QStringLiteral("0.0.0.0");
    localPort_ = QStringLiteral("0");
    lingerOnOff_ = wsLingerOn;
    lingerTimeout_ = 0;
    readCount_ = 0;
    sendQueue_.clear();
    dataSentDue_ = false;
    writePosted_ = false;
    peerClosed_ = false;
    peerError_ = 0;
}

void TWSocket::internalClose(bool shutdownFirst) {
    stopConnectTimer();
    if (fd_ < 0 || state_ == wsClosed) {
        tls_.reset();
        tlsPhase_ = TlsPhase::None;
        if (fd_ >= 0)
            closeHandle();
        changeState(wsClosed);
        restoreDefaults();
        closeNotified_ = false;
        return;
    }
    unwatch();
    if (shutdownFirst && tls_ && tlsPhase_ == TlsPhase::Open)
        tls_->sendCloseNotify();
    tls_.reset();
    tlsPhase_ = TlsPhase::None;
    tlsWriteWantsRead_ = false;
    SocketDispatcher::closeDescriptor(fd_, shutdownFirst);
    fd_ = -1;
    ++connection_;
    const bool notify = !destroying_ && !closeNotified_;
    restoreDefaults();
    closeNotified_ = false;
    QPointer<TWSocket> self(this);
    changeState(wsClosed);
    if (self && notify && OnSessionClosed)
        OnSessionClosed(this, 0);
}

void TWSocket::Close() {
    internalClose(true);
}

void TWSocket::Abort() {
    CancelDnsLookup();
    sendQueue_.clear();
    if (fd_ >= 0 && state_ == wsConnected) {
        linger l{};
        l.l_onoff = 0;
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    internalClose(false);
}

void TWSocket::ProcessMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace lb::net
