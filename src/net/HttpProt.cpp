#include "net/HttpProt.h"

#include "common/AsciiText.h"
#include "common/TlsSettings.h"
#include "net/HttpLimits.h"
#include "net/SocketDispatcher.h"
#include "net/SocketErrors.h"

#include <QCoreApplication>
#include <QDir>
#include <QIODevice>
#include <QLocale>
#include <QMutex>
#include <QPointer>
#include <QtDebug>

#include <algorithm>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <sys/stat.h>

namespace lb::net {

namespace {

bool isDigits(const QString& s) {
    if (s.isEmpty())
        return false;
    for (QChar c : s)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

bool isDigitByte(char c) {
    return c >= '0' && c <= '9';
}

// The Latin-1 text lower-cased as QString::toLower does, in one step for
// the usual ASCII value.
QString lowerLatin1(std::string_view text) {
    QString out(qsizetype(text.size()), Qt::Uninitialized);
    char16_t* d = reinterpret_cast<char16_t*>(out.data());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80)
            return QString::fromLatin1(text.data(), qsizetype(text.size())).toLower();
        d[i] = char16_t(asciiLower(char(c)));
    }
    return out;
}

bool isHttps(QStringView proto) {
    return proto.compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
}

// An IPv6 literal is always written in brackets on the wire.
QString bracketed(const QString& host) {
    return host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
}

bool startsWithHtmlTag(const char* p) {
    static const char tag[] = "<HTML>";
    for (int i = 0; i < 6; ++i) {
        char c = p[i];
        if (c >= 'a' && c <= 'z')
            c = char(c - 32);
        if (c != tag[i])
            return false;
    }
    return true;
}

// The clients whose own code is on this thread's stack, chained from the
// innermost frame outwards through the frames themselves (nothing to
// allocate or destroy). Only addresses are compared, so a client freed
// meanwhile does no harm here.
class ClientFrame {
public:
    explicit ClientFrame(const THttpCli* client) : client_(client), outer_(t_top) { t_top = this; }
    ~ClientFrame() { t_top = outer_; }
    ClientFrame(const ClientFrame&) = delete;
    ClientFrame& operator=(const ClientFrame&) = delete;

    static bool running(const THttpCli* client) {
        for (const ClientFrame* f = t_top; f; f = f->outer_)
            if (f->client_ == client)
                return true;
        return false;
    }

private:
    const THttpCli* client_;
    ClientFrame* outer_;
    static thread_local ClientFrame* t_top;
};
thread_local ClientFrame* ClientFrame::t_top = nullptr;

// A request-done being delivered; nested ones are chained, innermost first.
struct DoneDelivery {
    THttpCli* client; // cleared when the client goes during its handler
    bool release;     // Release() was called from the handler
    DoneDelivery* outer;
};
thread_local DoneDelivery* t_delivery = nullptr;

std::function<void()>& checksOffNotice() {
    static std::function<void()> notice;
    return notice;
}

} // namespace

namespace {

// The parts of a URL as views into it; see SplitUrl.
struct UrlParts {
    QStringView proto, user, pass, host, port, path;
};

UrlParts splitUrlViews(QStringView u) {
    UrlParts parts;
    if (u.isEmpty())
        return parts;
    QStringView rest;
    const qsizetype scheme = u.indexOf(QLatin1String("://"));
    if (scheme >= 0) {
        parts.proto = u.left(scheme);
        rest = u.mid(scheme + 3);
    } else if (!u.startsWith(QLatin1Char('/'))) {
        if (u.left(5).compare(QLatin1String("http:"), Qt::CaseInsensitive) == 0) {
            parts.proto = u"http";
            if (u.size() >= 7 && u.at(6) != QLatin1Char('/')) {
                parts.path = u.mid(5);
                return parts;
            }
            rest = u.mid(6);
        } else if (u.left(7).compare(QLatin1String("mailto:"), Qt::CaseInsensitive) == 0) {
            parts.proto = u"mailto";
            rest = u.mid(u.indexOf(QLatin1Char(':')) + 1);
        } else {
            rest = u;
        }
    } else {
        parts.proto = u"http";
        if (u.size() >= 2 && u.at(1) != QLatin1Char('/')) {
            parts.path = u;
            return parts;
        }
        rest = u.mid(1);
    }

    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    const QStringView authority = slash < 0 ? rest : rest.left(slash);
    if (slash >= 0)
        parts.path = rest.mid(slash);

    const qsizetype colon = authority.lastIndexOf(QLatin1Char(':'));
    const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
    const qsizetype open = at + 1;
    const qsizetype close = authority.indexOf(QLatin1Char(']'), open);
    if (open < authority.size() && authority.at(open) == QLatin1Char('[') && close > open) {
        // "[v6 address]" or "[v6 address]:port"; colons inside do not count.
        parts.host = authority.mid(open + 1, close - open - 1);
        if (close + 1 < authority.size() && authority.at(close + 1) == QLatin1Char(':'))
            parts.port = authority.mid(close + 2);
    } else if (colon < 0 && at < 0) {
        parts.host = authority;
    } else if (colon > at) {
        parts.port = authority.mid(colon + 1);
        parts.host = authority.mid(at + 1, colon - at - 1);
    } else {
        parts.host = authority.mid(at + 1);
    }
    if (at >= 0) {
        const QStringView userPart = authority.left(at);
        const qsizetype sep = userPart.indexOf(QLatin1Char(':'));
        if (sep >= 0) {
            parts.user = userPart.left(sep);
            parts.pass = userPart.mid(sep + 1);
        } else {
            parts.user = userPart;
        }
    }
    return parts;
}

} // namespace

void SplitUrl(const QString& url, QString& proto, QString& user, QString& pass, QString& host,
              QString& port, QString& path) {
    const UrlParts parts = splitUrlViews(url);
    proto = parts.proto.toString();
    user = parts.user.toString();
    pass = parts.pass.toString();
    host = parts.host.toString();
    port = parts.port.toString();
    path = parts.path.toString();
}

namespace {

// The program folder's TLS settings as a new client takes them. A run makes
// thousands of clients: the settings file is read again only when it is
// another file or has changed, which costs one stat per client instead of
// opening and reading it.
TlsSettings currentTlsSettings() {
    struct Cache {
        bool valid = false;
        bool exists = false;
        struct stat st {};
        TlsSettings settings;
    };
    static Cache cache;
    static QMutex mutex;
    struct stat st {};
    // The program folder is the current directory.
    const bool exists = ::stat("zkt.ini", &st) == 0;
    QMutexLocker lock(&mutex);
    if (cache.valid && exists == cache.exists &&
        (!exists ||
         (st.st_dev == cache.st.st_dev && st.st_ino == cache.st.st_ino &&
          st.st_size == cache.st.st_size && st.st_mtim.tv_sec == cache.st.st_mtim.tv_sec &&
          st.st_mtim.tv_nsec == cache.st.st_mtim.tv_nsec &&
          st.st_ctim.tv_sec == cache.st.st_ctim.tv_sec &&
          st.st_ctim.tv_nsec == cache.st.st_ctim.tv_nsec)))
        return cache.settings;
    cache.settings = exists ? TlsSettings::load(QDir::currentPath()) : TlsSettings();
    cache.exists = exists;
    cache.st = st;
    cache.valid = true;
    return cache.settings;
}

} // namespace

// ---- construction ---------------------------------------------------------

THttpCli::THttpCli(QObject* parent) : QObject(parent), socket_(new TWSocket(this)) {
    const TlsSettings tls = currentTlsSettings();
    Tls.verify = tls.verify;
    checksOffBySettings_ = !tls.verify;
    if (!tls.caFile.isEmpty())
        Tls.caFiles << tls.caFilePath(QDir::currentPath());
    socket_->OnTlsDone = [this](TWSocket*, quint16 e) {
        const ClientFrame frame(this);
        socketTlsDone(e);
    };
    socket_->OnDnsLookupDone = [this](TWSocket*, quint16 e) {
        const ClientFrame frame(this);
        socketDnsLookupDone(e);
    };
    socket_->OnSessionConnected = [this](TWSocket*, quint16 e) {
        const ClientFrame frame(this);
        socketSessionConnected(e);
    };
    socket_->OnDataAvailable = [this](TWSocket*, quint16) {
        const ClientFrame frame(this);
        socketDataAvailable();
    };
    socket_->OnDataSent = [this](TWSocket*, quint16) {
        const ClientFrame frame(this);
        socketDataSent();
    };
    socket_->OnSessionClosed = [this](TWSocket*, quint16 e) {
        const ClientFrame frame(this);
        socketSessionClosed(e);
    };
    // An exception inside a socket event aborts the socket; make sure the
    // request still finishes even when no close notification follows.
    socket_->OnBgException = [this](TWSocket*, const std::exception&, bool& canClose) {
        canClose = true;
        const quint64 rq = request_;
        postDeferred(this, [this, rq] {
            const ClientFrame frame(this);
            if (rq == request_ && state_ != hsReady && !closedStepDone_ &&
                socket_->State() == wsClosed)
                connectionClosedStep();
        });
    };
}

void THttpCli::setChecksOffNotice(std::function<void()> notice) {
    checksOffNotice() = std::move(notice);
}

THttpCli::~THttpCli() {
    for (DoneDelivery* d = t_delivery; d; d = d->outer)
        if (d->client == this)
            d->client = nullptr;
    // The socket is a child; clear its handlers so nothing calls back into a
    // half-destroyed client.
    socket_->OnDnsLookupDone = nullptr;
    socket_->OnSessionConnected = nullptr;
    socket_->OnDataAvailable = nullptr;
    socket_->OnDataSent = nullptr;
    socket_->OnSessionClosed = nullptr;
    socket_->OnBgException = nullptr;
    socket_->OnTlsDone = nullptr;
}

// ---- state ----------------------------------------------------------------

void THttpCli::setState(THttpState s) {
    if (state_ == s)
        return;
    state_ = s;
    if (s == hsReady && doneQueued_ != request_) {
        // One request-done per request, however many ways it ended.
        const quint64 rq = request_;
        doneQueued_ = rq;
        const THttpRequest type = requestType_;
        const quint16 error = requestDoneError_;
        // Packed into one number, so the call fits inside its std::function
        // (no allocation per request); 46 bits of request count are plenty.
        const quint64 packed = (rq << 18) | (quint64(type) << 16) | error;
        postDeferred(this, [this, packed] {
            const quint64 rq = packed >> 18;
            const auto type = THttpRequest((packed >> 16) & 3);
            const auto error = quint16(packed & 0xffff);
            doneFired_ = rq;
            DoneDelivery delivery{this, false, t_delivery};
            t_delivery = &delivery;
            {
                const ClientFrame frame(this);
                try {
                    if (OnRequestDone)
                        OnRequestDone(this, type, error);
                } catch (const std::exception& e) {
                    qWarning("HTTP request-done handler failed: %s", e.what());
                } catch (...) {
                    qWarning("HTTP request-done handler failed");
                }
            }
            t_delivery = delivery.outer;
            if (!delivery.client || !delivery.release)
                return;
            if (ClientFrame::running(this))
                deleteLater(); // code of this client is still running further down
            else
                delete this;
        });
    }
    if (OnStateChange)
        OnStateChange(this);
}

bool THttpCli::ended(const QPointer<THttpCli>& self, quint64 rq) {
    return !self || self->request_ != rq || self->state_ == hsReady || self->state_ == hsAborting;
}

void THttpCli::postSetReady() {
    const quint64 rq = request_;
    postDeferred(this, [this, rq] {
        if (rq != request_)
            return;
        const ClientFrame frame(this);
        try {
            setState(hsReady);
        } catch (const std::exception& e) {
            qWarning("HTTP state-change handler failed: %s", e.what());
        } catch (...) {
            qWarning("HTTP state-change handler failed");
        }
    });
}

void THttpCli::fail(int error, const QString& phrase) {
    requestDoneError_ = quint16(error);
    statusCode_ = 404;
    reasonPhrase_ = phrase;
}

void THttpCli::connectionClosedStep() {
    if (closedStepDone_)
        return;
    closedStepDone_ = true;
    QPointer<THttpCli> self(this);
    const quint64 rq = request_;
    if (bodyChunks_ > 0 && OnDocEnd)
        OnDocEnd(this);
    if (self && rq == request_)
        postSetReady();
}

// ---- starting -------------------------------------------------------------

void THttpCli::GetAsync() {
    startRequest(httpGET);
}
void THttpCli::PostAsync() {
    startRequest(httpPOST);
}
void THttpCli::HeadAsync() {
    startRequest(httpHEAD);
}
void THttpCli::Get() {
    doRequestSync(httpGET);
}
void THttpCli::Post() {
    doRequestSync(httpPOST);
}
void THttpCli::Head() {
    doRequestSync(httpHEAD);
}

void THttpCli::Release() {
    for (DoneDelivery* d = t_delivery; d; d = d->outer)
        if (d->client == this) {
            d->release = true;
            return;
        }
    deleteLater();
}

void THttpCli::doRequestSync(THttpRequest type) {
    const ClientFrame frame(this);
    startRequest(type);
    const quint64 rq = request_;
    QPointer<THttpCli> self(this);
    // Waits for the next event instead of spinning; other components keep working.
    while (self && state_ != hsReady)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (!self)
        throw EHttpException(QStringLiteral("Connection aborted on request"), 404);
    const int status = statusCode_;
    const QString phrase = reasonPhrase_;
    // The request-done is already queued: deliver it before returning, so
    // nothing of this request reaches the caller after the call.
    while (self && doneQueued_ == rq && doneFired_ != rq)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (status >= 400)
        throw EHttpException(phrase, quint16(status));
}

void THttpCli::startRequest(THttpRequest type) {
    const ClientFrame frame(this);
    if (state_ != hsReady)
        throw EHttpException(QStringLiteral("HTTP component is busy"), 1);
    if (type == httpPOST && !SendStream)
        throw EHttpException(QStringLiteral("HTTP component has nothing to post"), 2);

    ++request_;
    const quint64 rq = request_;
    headerBytes_.clear();
    headerConverted_ = 0;
    responseHeader_.clear();
    authenticate_.clear();
    requestType_ = type;
    requestDoneError_ = 0;
    closedStep_ = ClosedStep::Normal;
    closedStepDone_ = true;
    documentName_.clear();
    statusCode_ = 0;
    reasonPhrase_.clear();
    receivedCount_ = 0;
    sentCount_ = 0;
    headerLines_ = 0;
    bodyChunks_ = 0;
    bodyCut_ = false;
    redirections_ = 0;
    contentLength_ = -1;
    contentType_.clear();
    allowedToSend_ = false;
    locationSeen_ = false;
    receiveLen_ = 0;
    lineHandler_ = LineHandler::Header;
    location_ = URL;
    sendStreamStart_ = SendStream ? SendStream->pos() : 0;
    setState(hsNotConnected);
    if (rq != request_ || state_ != hsNotConnected)
        return; // a state-change handler aborted or restarted

    // Views into URL, which stays as it is until the request has started.
    const UrlParts url = splitUrlViews(URL);
    targetHost_ = url.host.toString();
    // Credentials written in the URL are for this request only; the
    // properties keep what the caller set.
    authUser_ = url.user.isEmpty() ? Username : url.user.toString();
    authPass_ = url.user.isEmpty() ? Password : url.pass.toString();
    tls_ = isHttps(url.proto);
    if (Proxy.isEmpty()) {
        hostName_ = targetHost_;
        path_ = url.path.toString();
        port_ = !url.port.isEmpty() ? url.port.toString()
                : tls_              ? QStringLiteral("443")
                                    : QStringLiteral("80");
    } else {
        path_ = (url.proto.isEmpty() ? QStringLiteral("http") : url.proto.toString()) +
                QLatin1String("://") + bracketed(targetHost_) +
                (url.port.isEmpty() ? QString() : QLatin1Char(':') + url.port.toString()) +
                url.path.toString();
        QString pProto, pUser, pPass, pHost, pPort, pPath;
        SplitUrl(Proxy, pProto, pUser, pPass, pHost, pPort, pPath);
        hostName_ = pHost;
        port_ = pPort.isEmpty() ? ProxyPort : pPort;
    }
    if (path_.isEmpty())
        path_ = QStringLiteral("/");
    authOrigin_ = authUser_.isEmpty() ? QString() : hopOrigin();

    // The last segment of the path, without its query.
    QStringView doc = url.path;
    if (doc.endsWith(QLatin1Char('/')))
        doc.chop(1);
    doc = doc.mid(doc.lastIndexOf(QLatin1Char('/')) + 1).left(255);
    if (const qsizetype q = doc.indexOf(QLatin1Char('?')); q >= 0)
        doc.truncate(q);
    if (url.path.isEmpty() || url.path == QLatin1String("/"))
        documentName_ = QStringLiteral("document.htm");
    else
        documentName_ = doc.toString();
    login();
}

void THttpCli::login() {
    const quint64 rq = request_;
    closedStepDone_ = false;
    pending_.clear();
    closePending_ = false;
    if (requestType_ == httpPOST && redirections_ > 0 && SendStream)
        SendStream->seek(sendStreamStart_); // the body goes again to the new place
    tunnel_ = Tunnel::None;
    if (!Proxy.isEmpty()) {
        // Through a proxy the request path names the server of this hop.
        QString proto, user, pass, host, port, path;
        SplitUrl(path_, proto, user, pass, host, port, path);
        tls_ = isHttps(proto);
        tlsHost_ = host;
        tunnelTarget_ =
            bracketed(host) + QLatin1Char(':') + (port.isEmpty() ? QStringLiteral("443") : port);
        originPath_ = path.isEmpty() ? QStringLiteral("/") : path;
    } else {
        tlsHost_ = targetHost_;
    }
    setState(hsDnsLookup);
    if (rq != request_ || state_ != hsDnsLookup)
        return;
    try {
        socket_->DnsLookup(hostName_);
    } catch (const ESocketException&) {
        // An empty host name: treat as a lookup that found nothing.
        if (rq == request_ && state_ == hsDnsLookup)
            socketDnsLookupDone(wsaEINVAL);
    }
}

void THttpCli::socketDnsLookupDone(quint16 error) {
    if (state_ != hsDnsLookup)
        return; // aborting, or a late answer
    if (error != 0) {
        fail(error, QStringLiteral("can't resolve hostname to IP address"));
        connectionClosedStep();
        return;
    }
    const quint64 rq = request_;
    setState(hsDnsLookupDone);
    if (rq != request_ || state_ != hsDnsLookupDone)
        return;
    try {
        socket_->setAddr(socket_->DnsResult());
        socket_->setPort(port_);
        socket_->setProto(QStringLiteral("tcp"));
        socket_->Connect();
    } catch (const ESocketException&) {
        const int e = socket_->LastError();
        fail(e, QStringLiteral("can't connect: %1 (Error #%2)").arg(socketErrorDesc(e)).arg(e));
        socket_->Close();
        connectionClosedStep();
    }
}

void THttpCli::socketSessionConnected(quint16 error) {
    if (state_ != hsDnsLookupDone)
        return;
    if (error != 0) {
        fail(error, QStringLiteral("%1 (Error #%2)").arg(socketErrorDesc(error)).arg(error));
        connectionClosedStep();
        return;
    }
    if (tls_ && !Proxy.isEmpty()) {
        sendConnect();
        return;
    }
    if (tls_) {
        startTls();
        return;
    }
    sessionReady();
}

void THttpCli::startTls() {
    tunnel_ = Tunnel::Handshake;
    if (checksOffBySettings_ && !Tls.verify && checksOffNotice())
        checksOffNotice()();
    socket_->StartTls(Tls, tlsHost_);
}

QString THttpCli::hopOrigin() const {
    if (Proxy.isEmpty())
        return (tls_ ? QStringLiteral("https://") : QStringLiteral("http://")) +
               hostName_.toLower() + QLatin1Char(':') + port_ + QLatin1Char(' ') +
               targetHost_.toLower();
    // Through a proxy the request path is the absolute address of the server.
    const UrlParts u = splitUrlViews(path_);
    const bool https = isHttps(u.proto);
    const QString port = !u.port.isEmpty() ? u.port.toString()
                         : https           ? QStringLiteral("443")
                                           : QStringLiteral("80");
    return (https ? QStringLiteral("https://") : QStringLiteral("http://")) +
           u.host.toString().toLower() + QLatin1Char(':') + port;
}

// The tunnel through the proxy: exactly these lines, then the proxy's answer
// header is read before anything else is sent.
void THttpCli::sendConnect() {
    tunnel_ = Tunnel::ConnectAnswer;
    tunnelStatus_ = 0;
    tunnelPhrase_.clear();
    tunnelLines_ = 0;
    receiveLen_ = 0;
    QByteArray lines = "CONNECT " + tunnelTarget_.toUtf8() + " HTTP/1.0\r\n" +
                       "Host: " + tunnelTarget_.toUtf8() + "\r\n";
    if (!ProxyUsername.isEmpty())
        lines += "Proxy-Authorization: Basic " +
                 (ProxyUsername + QLatin1Char(':') + ProxyPassword).toUtf8().toBase64() + "\r\n";
    lines += "\r\n";
    socket_->Send(lines.constData(), int(lines.size()));
}

void THttpCli::connectAnswer() {
    if (receiveLen_ >= kBufSize - 1) {
        statusCode_ = 404;
        reasonPhrase_ = QStringLiteral("HTTP line too long");
        throw EHttpException(QStringLiteral("HTTP line too long"), 4);
    }
    const int n = socket_->Receive(receiveBuffer_.data() + receiveLen_, kBufSize - 1 - receiveLen_);
    if (n <= 0)
        return;
    receiveLen_ += n;
    int start = 0;
    while (start < receiveLen_) {
        char* p = receiveBuffer_.data() + start;
        const char* lf =
            static_cast<const char*>(std::memchr(p, '\n', size_t(receiveLen_ - start)));
        if (!lf)
            break;
        int lineLen = int(lf - p);
        start += lineLen + 1;
        if (lineLen > 0 && p[lineLen - 1] == '\r')
            --lineLen;
        if (lineLen > 0) {
            if (tunnelLines_++ == 0) {
                const QString line = QString::fromLatin1(p, lineLen);
                const QString code = line.mid(9, 3).trimmed();
                if (line.startsWith(QLatin1String("HTTP/")) && isDigits(code)) {
                    tunnelStatus_ = code.toInt();
                    tunnelPhrase_ = line.mid(13);
                } else {
                    tunnelStatus_ = 404;
                    tunnelPhrase_ = QStringLiteral("Invalid status line");
                }
            }
            continue;
        }
        // End of the proxy's answer.
        receiveLen_ = 0;
        if (tunnelStatus_ >= 200 && tunnelStatus_ <= 299) {
            startTls();
        } else {
            tunnel_ = Tunnel::None;
            statusCode_ = tunnelStatus_ ? tunnelStatus_ : 404;
            reasonPhrase_ = tunnelPhrase_;
            socket_->Close();
        }
        return;
    }
    if (start > 0) {
        std::memmove(receiveBuffer_.data(), receiveBuffer_.data() + start,
                     size_t(receiveLen_ - start));
        receiveLen_ -= start;
    }
}

void THttpCli::socketTlsDone(quint16 error) {
    if (state_ != hsDnsLookupDone || tunnel_ != Tunnel::Handshake || error != 0)
        return;
    tunnel_ = Tunnel::None;
    sessionReady();
}

void THttpCli::sessionReady() {
    QPointer<THttpCli> self(this);
    const quint64 rq = request_;
    auto gone = [&] { return ended(self, rq); };
    setState(hsConnected);
    if (gone())
        return;
    if (OnSessionConnected)
        OnSessionConnected(this);
    if (gone())
        return;
    lineHandler_ = LineHandler::Header;
    receiveLen_ = 0;
    headerSize_ = 0;
    headerLineCount_ = 0;
    setState(hsWaitingHeader);
    if (gone())
        return;
    sendRequest();
}

// ---- the request ----------------------------------------------------------

namespace {

// Narrows text that is all ASCII into d (room for text.size() bytes), 8
// characters a step where the processor allows; false when a character is
// not ASCII.
bool narrowAscii(char* d, QStringView text) {
    const char16_t* src = text.utf16();
    const qsizetype n = text.size();
    qsizetype i = 0;
#ifdef __SSE2__
    const __m128i high = _mm_set1_epi16(qint16(0xff80));
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, high), _mm_setzero_si128())) !=
            0xffff)
            return false;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d + i), _mm_packus_epi16(v, v));
    }
#endif
    for (; i < n; ++i) {
        if (src[i] >= 0x80)
            return false;
        d[i] = char(src[i]);
    }
    return true;
}

// Appends the parts and CR LF as one line; request lines are nearly always
// ASCII, which goes in one step, anything else as UTF-8.
void appendLine(QByteArray& out, std::initializer_list<QStringView> parts) {
    qsizetype total = 2;
    for (QStringView p : parts)
        total += p.size();
    const qsizetype at = out.size();
    out.resize(at + total);
    char* d = out.data() + at;
    for (QStringView p : parts) {
        if (!narrowAscii(d, p)) {
            out.truncate(at);
            for (QStringView q : parts)
                out += q.toUtf8();
            out += "\r\n";
            return;
        }
        d += p.size();
    }
    d[0] = '\r';
    d[1] = '\n';
}

} // namespace

void THttpCli::sendCommand(std::initializer_list<QStringView> parts) {
    if (!OnCommand) {
        appendLine(requestHeader_, parts);
        return;
    }
    QString s;
    for (QStringView p : parts)
        s += p;
    OnCommand(this, s);
    requestHeader_ += s.toUtf8();
    requestHeader_ += "\r\n";
}

void THttpCli::sendRequest() {
    QPointer<THttpCli> self(this);
    const quint64 rq = request_;
    auto gone = [&] { return ended(self, rq); };

    if (OnRequestHeaderBegin)
        OnRequestHeaderBegin(this);
    if (gone())
        return;
    const bool post = requestType_ == httpPOST;
    const char16_t* method = post ? u"POST" : requestType_ == httpHEAD ? u"HEAD" : u"GET";
    // Inside a tunnel the server gets the request as if there were no proxy.
    const bool tunnelled = tls_ && !Proxy.isEmpty();
    requestHeader_.clear();
    requestHeader_.reserve(512);
    sendCommand({method, u" ", tunnelled ? originPath_ : path_, u" HTTP/1.0"});
    if (!Sender.isEmpty())
        sendCommand({u"From: ", Sender});
    if (!Accept.isEmpty())
        sendCommand({u"Accept: ", Accept});
    if (!Reference.isEmpty())
        sendCommand({u"Referer: ", Reference});
    if (post && !ContentTypePost.isEmpty())
        sendCommand({u"Content-Type: ", ContentTypePost});
    if (!Agent.isEmpty())
        sendCommand({u"User-Agent: ", Agent});
    sendCommand({u"Host: ", bracketed(targetHost_)});
    if (NoCache)
        sendCommand({u"Pragma: no-cache"});
    if (post)
        sendCommand({u"Content-Length: ", QString::number(SendStream ? SendStream->size() : 0)});
    if (ModifiedSince.isValid())
        sendCommand(
            {u"If-Modified-Since: ",
             QLocale::c().toString(ModifiedSince, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss")),
             u" GMT"});
    // Credentials go only to the scheme, host and port they were given for:
    // never after a redirection elsewhere, nor from https to http.
    if (!authUser_.isEmpty() && hopOrigin() == authOrigin_)
        sendCommand(
            {u"Authorization: Basic ",
             QString::fromLatin1((authUser_ + QLatin1Char(':') + authPass_).toUtf8().toBase64())});
    if (!Proxy.isEmpty() && !ProxyUsername.isEmpty() && !tunnelled)
        sendCommand({u"Proxy-Authorization: Basic ",
                     QString::fromLatin1(
                         (ProxyUsername + QLatin1Char(':') + ProxyPassword).toUtf8().toBase64())});
    if (!Cookie.isEmpty())
        sendCommand({u"Cookie: ", Cookie});
    if (!ContentRangeBegin.isEmpty() || !ContentRangeEnd.isEmpty()) {
        sendCommand({u"Range: bytes=", ContentRangeBegin, u"-", ContentRangeEnd});
        ContentRangeBegin.clear();
        ContentRangeEnd.clear();
    }
    acceptRanges_.clear();
    if (OnRequestHeaderEnd)
        OnRequestHeaderEnd(this);
    if (gone())
        return;
    sendCommand({});

    const QByteArray header = requestHeader_;
    requestHeader_.clear();
    socket_->Send(header.constData(), int(header.size()));
    if (gone())
        return;
    if (post) {
        if (OnSendBegin)
            OnSendBegin(this);
        if (gone())
            return;
        allowedToSend_ = true;
        sendNextChunk();
    }
}

void THttpCli::sendNextChunk() {
    if (!allowedToSend_)
        return;
    const qint64 n = SendStream ? SendStream->read(sendBuffer_.data(), kBufSize) : 0;
    if (n <= 0) {
        allowedToSend_ = false;
        if (OnSendEnd)
            OnSendEnd(this);
        return;
    }
    sentCount_ += n;
    QPointer<THttpCli> self(this);
    const quint64 rq = request_;
    if (OnSendData) {
        OnSendData(this, sendBuffer_.data(), int(n));
        if (!self || rq != request_ || !allowedToSend_ || socket_->State() != wsConnected)
            return;
    }
    socket_->Send(sendBuffer_.data(), int(n));
}

void THttpCli::socketDataSent() {
    if (allowedToSend_)
        sendNextChunk();
}

// ---- the answer -----------------------------------------------------------

void THttpCli::closeConnection(bool onlyWhenOpen) {
    if (!onlyWhenOpen || socket_->State() != wsClosed)
        socket_->Close();
}

void THttpCli::socketDataAvailable() {
    if (state_ == hsDnsLookupDone && tunnel_ == Tunnel::ConnectAnswer) {
        connectAnswer();
        return;
    }
    if (state_ != hsWaitingHeader && state_ != hsWaitingBody)
        return; // nothing expected: the socket drops what came
    if (receiving_) {
        // A handler of this answer lets events run: keep what arrives here;
        // the pass on the stack hands it on in order once it is done with
        // the bytes it holds.
        char chunk[kBufSize];
        const int n = socket_->Receive(chunk, kBufSize - 1);
        if (n > 0)
            pending_.append(chunk, n);
        return;
    }
    if (receiveLen_ >= kBufSize - 1) {
        // A line that does not fit: the socket aborts the connection and the
        // request ends as a closed connection, keeping the status it had.
        throw EHttpException(QStringLiteral("HTTP line too long"), 4);
    }
    const int n = socket_->Receive(receiveBuffer_.data() + receiveLen_, kBufSize - 1 - receiveLen_);
    if (n <= 0)
        return;
    receiveLen_ += n;

    QPointer<THttpCli> self(this);
    receiving_ = true;
    struct Reset {
        QPointer<THttpCli>& self;
        ~Reset() {
            if (self)
                self->receiving_ = false;
        }
    } reset{self};
    answerReceived();
    while (self && !pending_.isEmpty() && (state_ == hsWaitingHeader || state_ == hsWaitingBody)) {
        if (state_ == hsWaitingBody && receiveLen_ == 0) {
            QByteArray piece;
            piece.swap(pending_);
            bodyChunk(piece.constData(), int(piece.size()));
            continue;
        }
        const int room = kBufSize - 1 - receiveLen_;
        if (room <= 0)
            throw EHttpException(QStringLiteral("HTTP line too long"), 4);
        const int take = int(qMin<qsizetype>(room, pending_.size()));
        std::memcpy(receiveBuffer_.data() + receiveLen_, pending_.constData(), size_t(take));
        pending_.remove(0, take);
        receiveLen_ += take;
        answerReceived();
    }
    if (!self)
        return;
    pending_.clear();
    receiving_ = false;
    if (closePending_) {
        closePending_ = false;
        socketSessionClosed(closeError_);
    }
}

void THttpCli::answerReceived() {
    if (state_ == hsWaitingBody) {
        const int len = receiveLen_;
        receiveLen_ = 0;
        bodyChunk(receiveBuffer_.data(), len);
        return;
    }
    if (state_ != hsWaitingHeader)
        return;

    QPointer<THttpCli> self(this);
    const quint64 rq = request_;
    int start = 0;
    while (start < receiveLen_) {
        const int avail = receiveLen_ - start;
        char* p = receiveBuffer_.data() + start;
        if (avail >= 6 && startsWithHtmlTag(p)) {
            // An answer without a header: this line and the rest are the body.
            if (headerLines_++ == 0 && OnHeaderBegin) {
                OnHeaderBegin(this);
                if (ended(self, rq))
                    return;
            }
            if (contentType_.isEmpty())
                contentType_ = QStringLiteral("text/html");
            startBody(start);
            return;
        }
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', size_t(avail)));
        if (!lf)
            break;
        int lineLen = int(lf - p);
        const int next = start + lineLen + 1;
        headerSize_ += next - start;
        if (headerSize_ > limits::kMaxHeaderBytes || ++headerLineCount_ > limits::kMaxHeaderLines) {
            headerTooLarge();
            return;
        }
        if (lineLen > 0 && p[lineLen - 1] == '\r')
            --lineLen;
        lineRest_ = next;
        headerLine(p, lineLen);
        if (ended(self, rq))
            return; // aborted by a handler: nothing more of this answer
        if (lineHandler_ == LineHandler::Body || receiveLen_ == 0)
            return; // the rest went to the body, or was discarded for a redirection
        start = next;
    }
    if (start > 0) {
        std::memmove(receiveBuffer_.data(), receiveBuffer_.data() + start,
                     size_t(receiveLen_ - start));
        receiveLen_ -= start;
    }
}

// A server that sends header lines without end would fill the memory; the
// answer ends here as failed, the rest unread.
void THttpCli::headerTooLarge() {
    QPointer<THttpCli> self(this);
    statusCode_ = 404;
    reasonPhrase_ = QStringLiteral("HTTP header too large");
    receiveLen_ = 0;
    pending_.clear();
    ownClose_ = true;
    closeConnection(true);
    if (self)
        ownClose_ = false;
}

void THttpCli::startBody(int from) {
    QPointer<THttpCli> self(this);
    const quint64 rq = request_;
    lineHandler_ = LineHandler::Body;
    setState(hsWaitingBody);
    if (ended(self, rq))
        return;
    if (OnHeaderEnd)
        OnHeaderEnd(this);
    if (ended(self, rq))
        return;
    const int len = receiveLen_ - from;
    receiveLen_ = 0;
    if (len > 0) {
        if (from > 0)
            std::memmove(receiveBuffer_.data(), receiveBuffer_.data() + from, size_t(len));
        bodyChunk(receiveBuffer_.data(), len);
    }
}

void THttpCli::headerLine(const char* data, int len) {
    QPointer<THttpCli> self(this);
    const quint64 rq = request_;
    auto gone = [&] { return ended(self, rq); };
    if (headerLines_++ == 0 && OnHeaderBegin) {
        OnHeaderBegin(this);
        if (gone())
            return;
    }

    if (len == 0) {
        if (locationSeen_) {
            if (OnHeaderEnd)
                OnHeaderEnd(this);
            if (gone())
                return;
            receiveLen_ = 0;
            headerLines_ = 0;
            bodyChunks_ = 0;
            closedStep_ = ClosedStep::Redirect;
            closeConnection();
            return;
        }
        if (documentName_.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive) &&
            contentType_ == QLatin1String("text/html")) {
            documentName_.chop(3);
            documentName_ += QLatin1String("htm");
        }
        startBody(lineRest_);
        return;
    }

    {
        const qsizetype at = headerBytes_.size();
        if (at == 0)
            headerBytes_.reserve(512); // one allocation for a usual header
        headerBytes_.resize(at + len + 1);
        char* d = headerBytes_.data() + at;
        std::memcpy(d, data, size_t(len));
        d[len] = '\n';
    }
    const std::string_view line(data, size_t(len));
    if (line.starts_with("HTTP/1.0") || line.starts_with("HTTP/1.1")) {
        // The usual "HTTP/1.x NNN Phrase" read on its bytes; anything else
        // the way it always was.
        const bool plain = len >= 12 && isDigitByte(data[9]) && isDigitByte(data[10]) &&
                           isDigitByte(data[11]) && (len == 12 || data[12] == ' ');
        const QString status = plain ? QString() : QString::fromLatin1(data, len);
        const QString code = plain ? QString() : status.mid(9, 3).trimmed();
        if (plain) {
            statusCode_ = (data[9] - '0') * 100 + (data[10] - '0') * 10 + (data[11] - '0');
            reasonPhrase_ = len >= 13 ? QString::fromLatin1(data + 13, len - 13) : QString();
        } else if (isDigits(code)) {
            statusCode_ = code.toInt();
            reasonPhrase_ = status.mid(13);
        } else {
            // Not an HTTP answer we can judge; the 400-or-more rule below closes it.
            statusCode_ = 404;
            reasonPhrase_ = QStringLiteral("Invalid status line");
        }
    } else if (const size_t colon = line.find(':'); colon != std::string_view::npos) {
        // Compared on the bytes: every answer has several header lines, and
        // most of them are of no interest. The line is Latin-1, where only
        // A-Z fold to the ASCII names.
        const std::string_view field = line.substr(0, colon);
        auto is = [&field](std::string_view name) { return asciiEqualsIgnoreCase(field, name); };
        size_t v = colon + 1;
        while (v < line.size() && (line[v] == ' ' || line[v] == '\t'))
            ++v;
        auto value = [&] { return QString::fromLatin1(data + v, qsizetype(line.size() - v)); };
        if (is("location")) {
            locationSeen_ = true;
            takeLocation(value());
        } else if (is("content-length")) {
            if (const std::string_view n = line.substr(v);
                !n.empty() && n.size() <= 18 && std::all_of(n.begin(), n.end(), isDigitByte)) {
                contentLength_ = 0;
                for (char c : n)
                    contentLength_ = contentLength_ * 10 + (c - '0');
            } else if (const QString t = value().trimmed(); isDigits(t) && t.size() <= 18) {
                contentLength_ = t.toLongLong();
            }
        } else if (is("content-range")) {
            const QString rest = value().mid(6);
            const int dash = rest.indexOf(QLatin1Char('-'));
            if (dash < 0) {
                ContentRangeBegin = rest;
                ContentRangeEnd.clear();
            } else {
                ContentRangeBegin = rest.left(dash);
                const int slash = rest.indexOf(QLatin1Char('/'), dash + 1);
                ContentRangeEnd =
                    slash < 0 ? rest.mid(dash + 1) : rest.mid(dash + 1, slash - dash - 1);
            }
        } else if (is("accept-ranges")) {
            acceptRanges_ = value();
        } else if (is("content-type")) {
            contentType_ = lowerLatin1(line.substr(v));
        } else if (is("www-authenticate")) {
            authenticate_ << value();
        } else if (is("set-cookie")) {
            bool accept = true;
            if (OnCookie) {
                OnCookie(this, value(), accept);
                if (gone())
                    return;
            }
        }
    }
    if (OnHeaderData) {
        OnHeaderData(this);
        if (gone())
            return;
    }
    if (statusCode_ >= 400) {
        ownClose_ = true; // ends the answer now, not after what is buffered
        closeConnection(true);
        if (self)
            ownClose_ = false;
    }
}

void THttpCli::bodyChunk(const char* data, int len) {
    if (len <= 0)
        return;
    QPointer<THttpCli> self(this);
    const quint64 rq = request_;
    if (bodyChunks_++ == 0 && OnDocBegin) {
        OnDocBegin(this);
        if (ended(self, rq))
            return;
    }
    receivedCount_ += len;
    if (ReceiveStream)
        ReceiveStream->write(data, len);
    if (OnDocData)
        OnDocData(this, data, len);
}

const QStringList& THttpCli::ResponseHeader() const {
    while (headerConverted_ < headerBytes_.size()) {
        const qsizetype end = headerBytes_.indexOf('\n', headerConverted_);
        responseHeader_ << QString::fromLatin1(headerBytes_.constData() + headerConverted_,
                                               end - headerConverted_);
        headerConverted_ = end + 1;
    }
    return responseHeader_;
}

// ---- redirection ----------------------------------------------------------

void THttpCli::takeLocation(const QString& v) {
    QString proto, user, pass, host, port, path;
    // An address without protocol stays with the protocol of this request.
    const QString current = tls_ ? QStringLiteral("https") : QStringLiteral("http");
    if (Proxy.isEmpty()) {
        if (v.startsWith(QLatin1Char('/'))) {
            path_ = v;
            location_ = current + QLatin1String("://") + bracketed(targetHost_) + v;
            return;
        }
        SplitUrl(v, proto, user, pass, host, port, path);
        hostName_ = host;
        path_ = path;
        if (!port.isEmpty())
            port_ = port;
        if (!proto.isEmpty() && !host.isEmpty()) {
            targetHost_ = host;
            tls_ = isHttps(proto);
            if (port.isEmpty()) // a new server named without a port
                port_ = tls_ ? QStringLiteral("443") : QStringLiteral("80");
            if (path.isEmpty()) {
                path_ = QStringLiteral("/");
                location_ = proto + QLatin1String("://") + bracketed(host);
            } else {
                location_ = proto + QLatin1String("://") + bracketed(host) + path;
            }
            return;
        }
        const QString scheme = proto.isEmpty() ? current : proto;
        tls_ = isHttps(scheme);
        if (path.isEmpty()) {
            // 'page.htm': a page at the root of the same server.
            location_ =
                scheme + QLatin1String("://") + bracketed(targetHost_) + QLatin1Char('/') + host;
            hostName_ = targetHost_;
            path_ = location_;
        } else if (!host.isEmpty()) {
            targetHost_ = host;
        } else {
            location_ = scheme + QLatin1String("://") + bracketed(targetHost_) + path;
            hostName_ = targetHost_;
        }
        return;
    }

    // Through a proxy the request path is the absolute address; the
    // connection keeps going to the proxy.
    if (v.startsWith(QLatin1Char('/'))) {
        SplitUrl(path_, proto, user, pass, host, port, path);
        location_ = (proto.isEmpty() ? current : proto) + QLatin1String("://") + bracketed(host) +
                    (port.isEmpty() ? QString() : QLatin1Char(':') + port) + v;
        path_ = location_;
        return;
    }
    SplitUrl(v, proto, user, pass, host, port, path);
    const QString portPart = port.isEmpty() ? QString() : QLatin1Char(':') + port;
    if (!proto.isEmpty() && !host.isEmpty()) {
        targetHost_ = host;
        location_ = proto + QLatin1String("://") + bracketed(host) + portPart + path;
        path_ = location_;
        return;
    }
    if (proto.isEmpty())
        proto = current;
    if (path.isEmpty()) {
        location_ = proto + QLatin1String("://") + bracketed(targetHost_) + QLatin1Char('/') + host;
    } else if (!host.isEmpty()) {
        targetHost_ = host;
        location_ = proto + QLatin1String("://") + bracketed(host) + portPart + path;
    } else {
        location_ = proto + QLatin1String("://") + bracketed(targetHost_) + path;
    }
    path_ = location_;
}

void THttpCli::socketSessionClosed(quint16 error) {
    if (receiving_) {
        if (!ownClose_ && closedStep_ == ClosedStep::Normal &&
            (state_ == hsWaitingHeader || state_ == hsWaitingBody)) {
            // The server closed while a handler of this answer lets events
            // run: the answer ends after the bytes still to be handed on.
            closePending_ = true;
            closeError_ = error;
            return;
        }
        pending_.clear(); // bytes of a connection that is gone
    }
    if (closedStep_ == ClosedStep::Redirect) {
        closedStep_ = ClosedStep::Normal;
        locationSeen_ = false;
        if (++redirections_ > kMaxRedirections) {
            statusCode_ = 404;
            reasonPhrase_ = QStringLiteral("Too many redirections");
            connectionClosedStep();
            return;
        }
        QPointer<THttpCli> self(this);
        const quint64 rq = request_;
        if (OnLocationChange)
            OnLocationChange(this);
        if (ended(self, rq))
            return;
        postDeferred(this, [this, rq] {
            if (rq != request_ || state_ == hsReady || state_ == hsAborting)
                return;
            const ClientFrame frame(this);
            try {
                login();
            } catch (const std::exception& e) {
                qWarning("HTTP redirection failed: %s", e.what());
                Abort();
            }
        });
        return;
    }
    if (state_ != hsAborting && state_ != hsReady) {
        if (tunnel_ == Tunnel::ConnectAnswer) {
            fail(error ? int(error) : int(wsaECONNABORTED),
                 QStringLiteral("TLS: handshake failed: connection closed"));
        } else if (tunnel_ == Tunnel::Handshake || !socket_->TlsError().isEmpty()) {
            const QString text = socket_->TlsError();
            fail(error ? int(error) : int(wsaECONNABORTED),
                 text.isEmpty() ? QStringLiteral("TLS: handshake failed: connection closed")
                                : text);
        }
    }
    if (state_ == hsWaitingBody && !ownClose_ && requestType_ != httpHEAD && statusCode_ != 204 &&
        statusCode_ != 304) {
        // The server ended the body: short of its length, or (without one)
        // a TLS stream with no closing alert, it was cut off.
        bodyCut_ = contentLength_ >= 0 ? receivedCount_ < contentLength_
                                       : tls_ && !socket_->TlsCloseNotifyReceived();
    }
    tunnel_ = Tunnel::None;
    // A close, even a reset by the peer, ends the request without an error
    // number: only lookup, connect and Abort set one.
    connectionClosedStep();
}

// ---- aborting -------------------------------------------------------------

void THttpCli::Abort() {
    const ClientFrame frame(this);
    if (state_ == hsReady) {
        if (socket_->State() != wsClosed)
            socket_->Close();
        return;
    }
    if (state_ == hsAborting)
        return;
    const bool lookup = state_ == hsDnsLookup;
    const quint64 rq = request_;
    QPointer<THttpCli> self(this);
    setState(hsAborting);
    if (!self || rq != request_)
        return;
    if (lookup) {
        try {
            socket_->CancelDnsLookup();
        } catch (...) {
        }
    }
    statusCode_ = 404;
    reasonPhrase_ = QStringLiteral("Connection aborted on request");
    requestDoneError_ = 3;
    pending_.clear();
    closePending_ = false;
    closedStep_ = ClosedStep::Normal;
    if (lookup)
        connectionClosedStep();
    else
        closeConnection();
    if (!self || rq != request_)
        return;
    closedStepDone_ = true;
    setState(hsReady);
}

// ---- string body ----------------------------------------------------------

void TSTHttpCli::PostAsync() {
    if (State() != hsReady)
        throw EHttpException(QStringLiteral("HTTP component is busy"), 1);
    if (!SendStream)
        throw EHttpException(QStringLiteral("HTTP component has nothing to post"), 2);
    if (!SendStream->isOpen())
        SendStream->open(QIODevice::ReadWrite);
    SendStream->write(Stream.toUtf8());
    SendStream->seek(0);
    THttpCli::PostAsync();
}

} // namespace lb::net
