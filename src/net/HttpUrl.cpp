#include "net/HttpUrl.h"

namespace lb::net {

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

QString documentNameOf(QStringView path) {
    if (path.isEmpty() || path == QLatin1String("/"))
        return QStringLiteral("document.htm");
    QStringView doc = path;
    if (doc.endsWith(QLatin1Char('/')))
        doc.chop(1);
    doc = doc.mid(doc.lastIndexOf(QLatin1Char('/')) + 1).left(255);
    if (const qsizetype q = doc.indexOf(QLatin1Char('?')); q >= 0)
        doc.truncate(q);
    return doc.toString();
}

namespace {

QString withPort(const QString& port) {
    return port.isEmpty() ? QString() : QLatin1Char(':') + port;
}

// The server of the current request. Through a proxy that is the one the
// absolute request path names, port included: a relative Location must not
// send the next request to another port of that host.
QString currentOrigin(const HttpHop& hop, const QString& scheme, bool viaProxy) {
    if (!viaProxy)
        return scheme + QLatin1String("://") + bracketed(hop.targetHost);
    QString proto, user, pass, host, port, path;
    SplitUrl(hop.path, proto, user, pass, host, port, path);
    return (proto.isEmpty() ? scheme : proto) + QLatin1String("://") + bracketed(host) +
           withPort(port);
}

} // namespace

void followLocation(HttpHop& hop, const QString& v, bool viaProxy) {
    const QString current = hop.tls ? QStringLiteral("https") : QStringLiteral("http");
    if (v.startsWith(QLatin1Char('/'))) {
        hop.location = currentOrigin(hop, current, viaProxy) + v;
        hop.path = viaProxy ? hop.location : v;
        return;
    }

    QString proto, user, pass, host, port, path;
    SplitUrl(v, proto, user, pass, host, port, path);
    const bool absolute = !proto.isEmpty() && !host.isEmpty();
    const QString scheme = proto.isEmpty() ? current : proto;
    // Without a proxy the port goes into the connection, not into Location.
    const QString portPart = viaProxy ? withPort(port) : QString();
    QString connectTo = host;
    QString requestPath = path;
    if (absolute) {
        hop.targetHost = host;
        hop.location = proto + QLatin1String("://") + bracketed(host) + portPart + path;
        if (path.isEmpty())
            requestPath = QStringLiteral("/");
    } else if (path.isEmpty()) {
        // 'page.htm': a page at the root of the same server.
        hop.location = currentOrigin(hop, scheme, viaProxy) + QLatin1Char('/') + host;
        connectTo = hop.targetHost;
        requestPath = hop.location;
    } else if (!host.isEmpty()) {
        // A host and a path without protocol; without a proxy Location keeps
        // what it was.
        hop.targetHost = host;
        if (viaProxy)
            hop.location = scheme + QLatin1String("://") + bracketed(host) + portPart + path;
    } else {
        hop.location = currentOrigin(hop, scheme, viaProxy) + path;
        connectTo = hop.targetHost;
    }

    if (viaProxy) {
        // The connection stays with the proxy; the address goes in the request line.
        hop.path = hop.location;
        return;
    }
    hop.hostName = connectTo;
    hop.path = requestPath;
    hop.tls = isHttps(scheme);
    if (!port.isEmpty())
        hop.port = port;
    else if (absolute) // a new server named without a port
        hop.port = defaultPort(hop.tls);
}

} // namespace lb::net
