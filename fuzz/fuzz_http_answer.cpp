// THttpCli's answer handling on any bytes arriving in any pieces, redirections
// and an Abort from inside a handler included. Every answer's header lines and
// body are checked against a plain reading of the bytes that reached the
// client; events come in their order, one OnRequestDone ends the request and
// nothing follows it.
//
// Input: byte 0 options (address, proxy, HEAD), byte 1 piece sizes, byte 2
// the event whose handler aborts (0: none), then the bytes of the answers.
// A header over the limits of HttpLimits.h ends the request at the line that
// crosses them.
#include "FuzzCheck.h"
#include "HttpAnswerFeed.h"
#include "net/HttpLimits.h"

#include <QCoreApplication>

#include <cstdint>
#include <vector>

using lb::net::HttpAnswerFeed;
using lb::net::THttpCli;

namespace {

// One answer as the client handled it.
struct Answer {
    QByteArray fed; // bytes handed to the client
    QStringList lines;
    QByteArray body;
    int headerBegin = 0, headerEnd = 0, docBegin = 0, docEnd = 0;
    bool closedByServer = false; // the input ended while the connection was open
    bool redirected = false;
};

// What the bytes say: header lines up to the empty line (or an "<HTML>"
// line), then the body; an empty line after a "location" line redirects.
struct Reading {
    QStringList lines;
    QByteArray body;
    bool body_started = false;
    bool redirect = false;
    bool tooLarge = false;
};

Reading readAnswer(const QByteArray& a) {
    Reading r;
    bool location = false;
    qsizetype pos = 0;
    qint64 headerBytes = 0;
    int headerLines = 0;
    for (;;) {
        if (a.size() - pos >= 6 && a.mid(pos, 6).toUpper() == "<HTML>") {
            r.body = a.mid(pos);
            r.body_started = true;
            return r;
        }
        const qsizetype nl = a.indexOf('\n', pos);
        if (nl < 0)
            return r;
        headerBytes += nl + 1 - pos;
        if (headerBytes > lb::net::limits::kMaxHeaderBytes ||
            ++headerLines > lb::net::limits::kMaxHeaderLines) {
            r.tooLarge = true;
            return r;
        }
        QByteArray line = a.mid(pos, nl - pos);
        if (line.endsWith('\r'))
            line.chop(1);
        pos = nl + 1;
        if (line.isEmpty()) {
            if (location) {
                r.redirect = true;
            } else {
                r.body = a.mid(pos);
                r.body_started = true;
            }
            return r;
        }
        const QString text = QString::fromLatin1(line);
        r.lines << text;
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        if (colon >= 0 && !text.startsWith(QLatin1String("HTTP/1.0")) &&
            !text.startsWith(QLatin1String("HTTP/1.1")) &&
            text.left(colon).toLower() == QLatin1String("location"))
            location = true;
    }
}

bool isPrefix(const QStringList& part, const QStringList& whole) {
    if (part.size() > whole.size())
        return false;
    for (qsizetype i = 0; i < part.size(); ++i)
        if (part[i] != whole[i])
            return false;
    return true;
}

QCoreApplication& app() {
    static int argc = 1;
    static char name[] = "fuzz_http_answer";
    static char* argv[] = {name, nullptr};
    static QCoreApplication a(argc, argv);
    return a;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    app();
    if (size < 3)
        return 0;
    const uint8_t options = data[0];
    uint32_t rng = 0x9E3779B9u ^ (uint32_t(data[1]) * 2654435761u);
    static const int maxPieces[] = {1, 2, 7, 64, 512, 4096, 9000, 1 << 30};
    const int maxPiece = maxPieces[data[1] & 7];
    const int abortAt = data[2];
    const char* stream = reinterpret_cast<const char*>(data + 3);
    const int streamLen = int(size - 3);

    static const char* const urls[] = {"http://www.site.com/dir/page.htm", "http://127.0.0.1:8080/",
                                       "https://secure.example/a/setup.exe?x=1", "site.org/x/"};
    HttpAnswerFeed c;
    c.URL = QString::fromLatin1(urls[options & 3]);
    if (options & 4)
        c.Proxy = QStringLiteral("proxy.example:3128");

    std::vector<Answer> answers;
    int events = 0;     // handler calls that may abort
    int afterDone = 0;  // events of any kind after OnRequestDone
    int afterAbort = 0; // events other than OnRequestDone after Abort() returned
    int requestDone = 0;
    quint16 doneError = 0;
    bool aborting = false, aborted = false;
    qint64 delivered = 0;
    auto event = [&](bool mayAbort) {
        if (requestDone)
            ++afterDone;
        if (aborted)
            ++afterAbort;
        if (mayAbort && abortAt && ++events == abortAt && !aborting) {
            aborting = true;
            c.Abort();
            aborted = true;
        }
    };
    auto current = [&]() -> Answer& {
        FUZZ_CHECK(!answers.empty());
        return answers.back();
    };

    c.OnStateChange = [&](THttpCli*) {
        if (requestDone)
            ++afterDone;
        if (aborted)
            ++afterAbort;
        if (c.connectOnLookup())
            answers.emplace_back();
    };
    c.OnHeaderBegin = [&](THttpCli*) {
        ++current().headerBegin;
        event(false);
    };
    c.OnHeaderData = [&](THttpCli*) {
        Answer& a = current();
        FUZZ_CHECK(a.headerBegin == 1 && a.headerEnd == 0);
        FUZZ_CHECK(!c.ResponseHeader().isEmpty());
        a.lines << c.ResponseHeader().last();
        FUZZ_CHECK(c.StatusCode() >= 0 && c.StatusCode() <= 999);
        event(true);
    };
    c.OnCookie = [&](THttpCli*, const QString&, bool& accept) {
        FUZZ_CHECK(accept);
        event(false);
    };
    c.OnHeaderEnd = [&](THttpCli*) {
        Answer& a = current();
        FUZZ_CHECK(a.headerBegin == 1 && ++a.headerEnd == 1);
        event(true);
    };
    c.OnDocBegin = [&](THttpCli*) {
        Answer& a = current();
        FUZZ_CHECK(a.headerEnd == 1 && ++a.docBegin == 1);
        event(true);
    };
    c.OnDocData = [&](THttpCli*, const char* p, int len) {
        Answer& a = current();
        FUZZ_CHECK(a.docBegin == 1 && a.docEnd == 0 && len > 0);
        a.body.append(p, len);
        delivered += len;
        FUZZ_CHECK(c.ReceivedCount() == delivered);
        event(true);
    };
    c.OnDocEnd = [&](THttpCli*) {
        Answer& a = current();
        FUZZ_CHECK(a.docBegin == 1 && ++a.docEnd == 1);
        event(false);
    };
    c.OnLocationChange = [&](THttpCli*) {
        current().redirected = true;
        event(true);
    };
    c.OnRequestDone = [&](THttpCli* sender, lb::net::THttpRequest type, quint16 error) {
        FUZZ_CHECK(sender == &c && sender->State() == lb::net::hsReady);
        FUZZ_CHECK(type == ((options & 8) ? lb::net::httpHEAD : lb::net::httpGET));
        ++requestDone;
        doneError = error;
    };

    if (options & 8)
        c.HeadAsync();
    else
        c.GetAsync();
    FUZZ_CHECK(c.open() && answers.size() == 1);

    int pos = 0;
    for (int round = 0; round < 64; ++round) {
        while (c.open() && pos < streamLen) {
            rng ^= rng << 13;
            rng ^= rng >> 17;
            rng ^= rng << 5;
            const int piece = std::min(streamLen - pos, 1 + int(rng % uint32_t(maxPiece)));
            const int taken = c.arrive(stream + pos, piece);
            answers.back().fed.append(stream + pos, taken);
            pos += piece; // what was not read went with the closed connection
        }
        if (c.open()) {
            current().closedByServer = true;
            c.serverClose();
        }
        for (int i = 0; i < 8 && !c.open(); ++i)
            QCoreApplication::sendPostedEvents();
        if (!c.open())
            break;
    }
    FUZZ_CHECK(!c.open());
    FUZZ_CHECK(requestDone == 1 && afterDone == 0 && afterAbort == 0);
    FUZZ_CHECK(c.State() == lb::net::hsReady);
    FUZZ_CHECK(c.StatusCode() >= 0 && c.StatusCode() <= 999);
    FUZZ_CHECK(c.ContentLength() >= -1);
    FUZZ_CHECK(c.ReceivedCount() == delivered);
    FUZZ_CHECK(int(answers.size()) <= THttpCli::kMaxRedirections + 2);
    if (aborted)
        FUZZ_CHECK(doneError == 3 && c.StatusCode() == 404);
    else
        FUZZ_CHECK(doneError == 0);

    for (size_t i = 0; i < answers.size(); ++i) {
        const Answer& a = answers[i];
        const Reading r = readAnswer(a.fed);
        for (const QString& line : a.lines)
            FUZZ_CHECK(line.size() < HttpAnswerFeed::bufferRoom());
        FUZZ_CHECK(a.headerBegin <= 1 && a.docEnd <= a.docBegin);
        if (aborted && i + 1 == answers.size()) {
            // Cut short by the abort: what came is the start of what was due.
            FUZZ_CHECK(isPrefix(a.lines, r.lines));
            FUZZ_CHECK(r.body.startsWith(a.body));
            continue;
        }
        FUZZ_CHECK(a.lines == r.lines);
        FUZZ_CHECK(a.lines.size() <= lb::net::limits::kMaxHeaderLines);
        FUZZ_CHECK(a.body == r.body);
        if (r.tooLarge) {
            FUZZ_CHECK(i + 1 == answers.size() && !a.closedByServer);
            FUZZ_CHECK(c.StatusCode() == 404 &&
                       c.ReasonPhrase() == QLatin1String("HTTP header too large"));
        }
        FUZZ_CHECK(a.docBegin == (a.body.isEmpty() ? 0 : 1));
        FUZZ_CHECK(a.headerEnd == ((r.body_started || r.redirect) ? 1 : 0));
        FUZZ_CHECK(a.redirected == (r.redirect && i + 1 < answers.size()));
        if (i + 1 < answers.size())
            FUZZ_CHECK(r.redirect);
        if (a.closedByServer && !a.body.isEmpty())
            FUZZ_CHECK(a.docEnd == 1);
        if (r.body_started && a.docEnd == 0 && !a.body.isEmpty())
            FUZZ_CHECK(!a.closedByServer); // no OnDocEnd only after a 400-or-more close
    }
    return 0;
}
