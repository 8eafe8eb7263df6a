#pragma once
// URLs as the HTTP client reads them: splitting an address into its parts,
// and working out where a "Location" answer line sends the next request.
#include <QString>
#include <QStringView>

namespace lb::net {

// Splits a URL the way the whole program does (protocol, user, password,
// host, port, path). Path keeps the query string. A bracketed IPv6 literal
// gives its address without the brackets as Host.
void SplitUrl(const QString& url, QString& proto, QString& user, QString& pass, QString& host,
              QString& port, QString& path);

// The parts of a URL as views into it; see SplitUrl.
struct UrlParts {
    QStringView proto, user, pass, host, port, path;
};
UrlParts splitUrlViews(QStringView url);

inline bool isHttps(QStringView proto) {
    return proto.compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
}

// An IPv6 literal is always written in brackets on the wire.
inline QString bracketed(const QString& host) {
    return host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
}

inline QString defaultPort(bool tls) {
    return tls ? QStringLiteral("443") : QStringLiteral("80");
}

// The name a fetched document is saved under: the last segment of the
// path, without its query; "document.htm" for the root.
QString documentNameOf(QStringView path);

// Where one request goes. Without a proxy the connection goes to hostName
// and the request line carries path; through a proxy the connection stays
// with the proxy and path is the absolute address.
struct HttpHop {
    QString hostName;   // host to connect to
    QString targetHost; // host named in the address, sent as Host:
    QString port;
    QString path;
    QString location; // the address being fetched, as the caller sees it
    bool tls = false;
};

// Moves the hop to where the Location value sends it. An address without
// protocol stays with the protocol of the hop.
void followLocation(HttpHop& hop, const QString& value, bool viaProxy);

} // namespace lb::net
