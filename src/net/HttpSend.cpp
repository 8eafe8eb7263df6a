// The request: its header lines, then (for POST) the body from SendStream.
#include "net/HttpProt.h"

#include <QIODevice>
#include <QLocale>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace lb::net {

namespace {

// Narrows text that is all ASCII into d (room for text.size() bytes), 8
// characters a step where the processor allows (3.3 % of a request's
// instructions on bench_http); false when a character is not ASCII.
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
    const RequestGuard guard(this);

    if (OnRequestHeaderBegin)
        OnRequestHeaderBegin(this);
    if (guard.ended())
        return;
    const bool post = requestType_ == httpPOST;
    const char16_t* method = post ? u"POST" : requestType_ == httpHEAD ? u"HEAD" : u"GET";
    // Inside a tunnel the server gets the request as if there were no proxy.
    const bool tunnelled = hop_.tls && !Proxy.isEmpty();
    requestHeader_.clear();
    requestHeader_.reserve(512);
    sendCommand({method, u" ", tunnelled ? originPath_ : hop_.path, u" HTTP/1.0"});
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
    sendCommand({u"Host: ", bracketed(hop_.targetHost)});
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
    if (guard.ended())
        return;
    sendCommand({});

    const QByteArray header = requestHeader_;
    requestHeader_.clear();
    socket_->Send(header.constData(), int(header.size()));
    if (guard.ended())
        return;
    if (post) {
        if (OnSendBegin)
            OnSendBegin(this);
        if (guard.ended())
            return;
        rs_.allowedToSend = true;
        sendNextChunk();
    }
}

void THttpCli::sendNextChunk() {
    if (!rs_.allowedToSend)
        return;
    const qint64 n = SendStream ? SendStream->read(sendBuffer_.data(), kBufSize) : 0;
    if (n <= 0) {
        rs_.allowedToSend = false;
        if (OnSendEnd)
            OnSendEnd(this);
        return;
    }
    rs_.sentCount += n;
    if (OnSendData) {
        const RequestGuard guard(this);
        OnSendData(this, sendBuffer_.data(), int(n));
        if (guard.replaced() || !rs_.allowedToSend || socket_->State() != wsConnected)
            return;
    }
    socket_->Send(sendBuffer_.data(), int(n));
}

void THttpCli::socketDataSent() {
    if (rs_.allowedToSend)
        sendNextChunk();
}

} // namespace lb::net
