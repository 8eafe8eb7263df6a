#pragma once
// Addresses as the site audit compares them: references resolved against
// their page by RFC 3986, the fragment dropped, scheme and host lower-cased,
// the default port dropped; path and query kept as written (bytes the wire
// cannot carry are percent-escaped).
#include <QByteArray>
#include <QString>

namespace lb::audit {

struct AuditUrl {
    QByteArray scheme; // "http" or "https"
    QByteArray host;   // lower-cased; brackets kept around an IPv6 address
    int port = -1;     // -1: the scheme's own
    QByteArray path;   // at least "/"
    QByteArray query;  // with its '?' when there is one

    bool isValid() const { return !scheme.isEmpty() && !host.isEmpty(); }
    // "scheme://host[:port]"
    QByteArray origin() const;
    QByteArray pathAndQuery() const { return path + query; }
    QString toString() const;
    bool sameSite(const AuditUrl& other) const {
        return scheme == other.scheme && host == other.host && port == other.port;
    }
};

// An absolute http(s) address; anything else gives an invalid one.
AuditUrl parseAuditUrl(const QString& text);
// A reference (entities already decoded) against the address of its page.
// Schemes other than http and https give an invalid one.
AuditUrl resolveAuditUrl(const AuditUrl& base, const QString& reference);

} // namespace lb::audit
