#pragma once
// The proxy settings of the smaller fetches' tests: a proxy listening on
// 127.0.0.1 with a user and password of its own.
#include "common/ProxySettings.h"

#include <QByteArray>
#include <QString>

namespace lb::test {

// What the proxy's user and password make of each request's header.
inline const QByteArray kCrawlProxyAuthorization = "\r\nProxy-Authorization: Basic cHU6cHA=\r\n";

inline ProxySettings crawlProxy(quint16 port) {
    ProxySettings p;
    p.behindProxy = true;
    p.host = QStringLiteral("127.0.0.1");
    p.port = QString::number(port);
    p.userName = QStringLiteral("pu");
    p.password = QStringLiteral("pp");
    return p;
}

} // namespace lb::test
