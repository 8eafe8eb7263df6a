// Following a "Location" answer line: the same request goes to the new
// place, and the server credentials go only where they were given for.
#include "net/HttpProt.h"
#include "net/SocketDispatcher.h"

#include <QtDebug>

namespace lb::net {

// Runs when the connection of an answer with a Location line has closed.
void THttpCli::redirectionStep() {
    rs_.closedStep = ClosedStep::Normal;
    rs_.locationSeen = false;
    if (++rs_.redirections > kMaxRedirections) {
        rs_.statusCode = 404;
        rs_.reasonPhrase = QStringLiteral("Too many redirections");
        connectionClosedStep();
        return;
    }
    const RequestGuard guard(this);
    if (OnLocationChange)
        OnLocationChange(this);
    if (guard.ended())
        return;
    const quint64 rq = request_;
    postDeferred(this, [this, rq] {
        if (rq != request_ || state_ == hsReady || state_ == hsAborting)
            return;
        const RequestGuard guard(this);
        try {
            login();
        } catch (const std::exception& e) {
            qWarning("HTTP redirection failed: %s", e.what());
            Abort();
        }
    });
}

// Credentials go only to the scheme, host and port they were given for:
// never after a redirection elsewhere, nor from https to http.
QString THttpCli::hopOrigin() const {
    if (Proxy.isEmpty())
        return (hop_.tls ? QStringLiteral("https://") : QStringLiteral("http://")) +
               hop_.hostName.toLower() + QLatin1Char(':') + hop_.port + QLatin1Char(' ') +
               hop_.targetHost.toLower();
    // Through a proxy the request path is the absolute address of the server.
    const UrlParts u = splitUrlViews(hop_.path);
    const bool https = isHttps(u.proto);
    const QString port = !u.port.isEmpty() ? u.port.toString() : defaultPort(https);
    return (https ? QStringLiteral("https://") : QStringLiteral("http://")) +
           u.host.toString().toLower() + QLatin1Char(':') + port;
}

} // namespace lb::net
