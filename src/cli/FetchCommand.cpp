// linkbeacon-cli fetch: one synchronous request through the HTTP client, the
// body on standard output, the status as the last line on standard error.
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "net/HttpProt.h"
#include "net/TlsSession.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QTimer>

#include <chrono>

#include <cstdio>

namespace lb::cli {

namespace {

const char* stateName(net::THttpState s) {
    static const char* names[] = {"hsReady",       "hsNotConnected",  "hsConnected",
                                  "hsDnsLookup",   "hsDnsLookupDone", "hsWaitingHeader",
                                  "hsWaitingBody", "hsAborting"};
    return names[int(s)];
}

void trace(bool on, const QString& line) {
    if (on)
        std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
}

} // namespace

int runFetch(const CommandLine& line) {
    const QString post = line.value("post");
    const bool hasPost = line.isSet("post");
    const QString proxy = line.value("proxy");
    const QString proxyUser = line.value("proxy-user");
    const QString user = line.value("user");
    const QString referer = line.value("referer");
    const bool tracing = line.isSet("trace");
    const bool insecure = line.isSet("insecure");
    if (line.isSet("proxy") && proxy.isEmpty())
        return line.usageError(QStringLiteral("--proxy needs HOST[:PORT]"));
    if (line.isSet("proxy-user") && !proxyUser.contains(QLatin1Char(':')))
        return line.usageError(QStringLiteral("--proxy-user needs USER:PASSWORD"));
    if (line.isSet("user") && !user.contains(QLatin1Char(':')))
        return line.usageError(QStringLiteral("--user needs USER:PASSWORD"));
    double timeoutSeconds = 0; // none
    for (const QString& t : line.values("timeout")) {
        bool ok = false;
        timeoutSeconds = t.toDouble(&ok);
        if (!ok || !(timeoutSeconds > 0) || timeoutSeconds > 86400)
            return line.usageError(QStringLiteral("--timeout needs SECONDS (more than 0)"));
    }
    const QStringList caFiles = line.values("cacert");
    for (const QString& file : caFiles) {
        if (file.isEmpty())
            return line.usageError(QStringLiteral("--cacert needs FILE"));
        const int count = net::countPemCertificates(file);
        if (count < 0)
            return line.usageError(QStringLiteral("cannot read %1").arg(file));
        if (count == 0)
            return line.usageError(QStringLiteral("no PEM certificate in %1").arg(file));
    }
    if (line.operands().size() > 1)
        return line.usageError(QStringLiteral("only one URL"));
    const QString url = line.operands().value(0);
    if (url.isEmpty())
        return line.usageError(
            QStringLiteral("usage: fetch [--post DATA] [--proxy HOST[:PORT]] "
                           "[--proxy-user USER:PASSWORD] [--user USER:PASSWORD] "
                           "[--referer URL] [--timeout SECONDS] [--cacert FILE] [--insecure] "
                           "[--trace] URL"));

    using net::THttpCli;
    THttpCli http; // takes the "TLS" section of zkt.ini in the current directory
    http.URL = url;
    http.Tls.caFiles << caFiles;
    if (insecure)
        http.Tls.verify = false;
    http.Reference = referer;
    if (!proxy.isEmpty())
        http.Proxy = proxy;
    if (!proxyUser.isEmpty()) {
        http.ProxyUsername = proxyUser.section(QLatin1Char(':'), 0, 0);
        http.ProxyPassword = proxyUser.section(QLatin1Char(':'), 1);
    }
    if (!user.isEmpty()) {
        http.Username = user.section(QLatin1Char(':'), 0, 0);
        http.Password = user.section(QLatin1Char(':'), 1);
    }
    QBuffer body;
    if (hasPost) {
        body.setData(post.toUtf8());
        body.open(QIODevice::ReadOnly);
        http.SendStream = &body;
    }

    bool done = false;
    bool headerEnded = false;
    http.OnDocData = [&](THttpCli*, const char* data, int len) {
        std::fwrite(data, 1, size_t(len), stdout);
        trace(tracing, QStringLiteral("DocData %1").arg(len));
    };
    http.OnRequestDone = [&](THttpCli*, net::THttpRequest, quint16 error) {
        done = true;
        trace(tracing, QStringLiteral("RequestDone %1").arg(error));
    };
    if (tracing) {
        auto named = [](const char* name) {
            return [name](THttpCli*) { std::fprintf(stderr, "%s\n", name); };
        };
        http.OnSessionConnected = named("SessionConnected");
        http.OnRequestHeaderBegin = named("RequestHeaderBegin");
        http.OnRequestHeaderEnd = named("RequestHeaderEnd");
        http.OnHeaderBegin = named("HeaderBegin");
        http.OnHeaderEnd = named("HeaderEnd");
        http.OnDocBegin = named("DocBegin");
        http.OnDocEnd = named("DocEnd");
        http.OnSendBegin = named("SendBegin");
        http.OnSendEnd = named("SendEnd");
        http.OnCommand = [](THttpCli*, QString& line) { trace(true, "Command " + line); };
        http.OnHeaderData = [](THttpCli* c) {
            trace(true, "HeaderData " + c->ResponseHeader().last());
        };
        http.OnStateChange = [](THttpCli* c) {
            trace(true, QStringLiteral("StateChange %1").arg(QLatin1String(stateName(c->State()))));
        };
        http.OnSendData = [](THttpCli*, const char*, int len) {
            trace(true, QStringLiteral("SendData %1").arg(len));
        };
        http.OnLocationChange = [](THttpCli* c) { trace(true, "LocationChange " + c->Location()); };
        http.OnCookie = [](THttpCli*, const QString& v, bool&) { trace(true, "Cookie " + v); };
    }

    // Whether the header of the last answer (after any redirection) ended.
    auto chain = [](THttpCli::TNotifyEvent& event, std::function<void()> first) {
        event = [first, then = event](THttpCli* c) {
            first();
            if (then)
                then(c);
        };
    };
    chain(http.OnHeaderBegin, [&headerEnded] { headerEnded = false; });
    chain(http.OnHeaderEnd, [&headerEnded] { headerEnded = true; });
    // Running out of time aborts the request like any other Abort.
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, [&http] { http.Abort(); });
    if (timeoutSeconds > 0)
        timeout.start(std::chrono::milliseconds(qint64(timeoutSeconds * 1000)));

    try {
        if (hasPost)
            http.Post();
        else
            http.Get();
    } catch (const net::EHttpException&) {
        // The status line below says what went wrong.
    } catch (const std::exception& e) {
        trace(true, QString::fromLocal8Bit(e.what()));
    }
    std::fflush(stdout);
    std::fprintf(stderr, "status: %d %s\n", http.StatusCode(),
                 http.ReasonPhrase().toLocal8Bit().constData());
    if (!http.BodyComplete()) {
        // Without a length (a TLS stream that lost its closing alert) only
        // the bytes that came can be told.
        if (http.ContentLength() >= 0)
            std::fprintf(stderr, "error: body cut short (%lld of %lld bytes)\n",
                         static_cast<long long>(http.ReceivedCount()),
                         static_cast<long long>(http.ContentLength()));
        else
            std::fprintf(stderr, "error: body cut short (%lld bytes)\n",
                         static_cast<long long>(http.ReceivedCount()));
        return 1;
    }
    // Success needs a status line below 400 and a complete header: an empty
    // answer or one cut off in its header is a failure.
    const int status = http.StatusCode();
    return status > 0 && status < 400 && headerEnded ? 0 : 1;
}

} // namespace lb::cli
