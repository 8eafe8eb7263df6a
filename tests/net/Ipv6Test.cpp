// IPv6 literals: splitting, lookup, and how they are written on the wire.
#include "HttpTestUtil.h"
#include "support/TestCertificates.h"
#include "support/TlsTestServer.h"

#include <gtest/gtest.h>

using namespace lb::net;
using lb::test::ConnectProxy;
using lb::test::EventLog;
using lb::test::TestCertificates;
using lb::test::TlsTestServer;

namespace {

struct Parts {
    QString proto, user, pass, host, port, path;
};

Parts split(const QString& url) {
    Parts p;
    SplitUrl(url, p.proto, p.user, p.pass, p.host, p.port, p.path);
    return p;
}

const QByteArray kOk = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html>ok</html>";

} // namespace

TEST(Ipv6, SplitUrlTakesBracketedLiteralsWhole) {
    Parts p = split("http://[::1]:8080/x");
    EXPECT_EQ(p.proto, "http");
    EXPECT_EQ(p.host, "::1");
    EXPECT_EQ(p.port, "8080");
    EXPECT_EQ(p.path, "/x");

    p = split("http://u:p@[::1]/x");
    EXPECT_EQ(p.user, "u");
    EXPECT_EQ(p.pass, "p");
    EXPECT_EQ(p.host, "::1");
    EXPECT_EQ(p.port, "");
    EXPECT_EQ(p.path, "/x");

    p = split("HTTPS://[2001:db8::5]?q");
    EXPECT_EQ(p.proto, "HTTPS");
    EXPECT_EQ(p.host, "2001:db8::5");
    EXPECT_EQ(p.port, "");

    // Outside brackets the last-colon rule is unchanged.
    p = split("http://a:b@host:81/x");
    EXPECT_EQ(p.host, "host");
    EXPECT_EQ(p.port, "81");
    EXPECT_EQ(p.user, "a");
}

TEST(Ipv6, LiteralLookupAnswersAtOnce) {
    TWSocket s;
    int calls = 0;
    quint16 error = 99;
    s.OnDnsLookupDone = [&](TWSocket*, quint16 e) {
        ++calls;
        error = e;
    };
    s.DnsLookup(" 0:0::1 ");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(s.DnsResult(), "::1");
    EXPECT_EQ(s.DnsResultList(), QStringList{"::1"});
}

TEST(Ipv6, HttpAndHttpsToLoopbackWriteBracketsOnTheWire) {
    ConnectProxy plain(ConnectProxy::Refuse, kOk, true);
    THttpCli c;
    EventLog log;
    log.attach(&c);
    c.URL = QStringLiteral("http://[::1]:%1/x").arg(plain.port());
    c.GetAsync();
    ASSERT_TRUE(log.waitDone());
    EXPECT_EQ(c.StatusCode(), 200);
    EXPECT_EQ(plain.header(0),
              "GET /x HTTP/1.0\r\n"
              "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
              "User-Agent: Mozilla/3.0 (compatible)\r\n"
              "Host: [::1]\r\n\r\n");

    TestCertificates certs;
    ASSERT_TRUE(certs.ok());
    TlsTestServer server(certs.serverCert(), certs.serverKey(), true);
    ASSERT_TRUE(server.ok());
    TlsTestServer::Behaviour moved;
    moved.answer = "HTTP/1.0 302 Found\r\nLocation: /y\r\n\r\n";
    server.add(moved);
    THttpCli s;
    EventLog slog;
    slog.attach(&s);
    s.Tls.caFiles << certs.caFile();
    s.URL = QStringLiteral("https://[::1]:%1/x").arg(server.port());
    s.GetAsync();
    ASSERT_TRUE(slog.waitDone());
    EXPECT_EQ(s.StatusCode(), 200) << s.ReasonPhrase().toStdString();
    EXPECT_EQ(s.Location(), "https://[::1]/y");
    EXPECT_TRUE(server.request(0).contains("\r\nHost: [::1]\r\n"));
    EXPECT_TRUE(server.request(1).startsWith("GET /y HTTP/1.0\r\n"));
    EXPECT_EQ(server.serverName(0), ""); // no name for an address
}

TEST(Ipv6, ProxyRequestsNameTheLiteralInBrackets) {
    ConnectProxy recorder(ConnectProxy::Refuse, kOk);
    THttpCli c;
    EventLog log;
    log.attach(&c);
    c.URL = "http://[::1]:8080/x";
    c.Proxy = QStringLiteral("127.0.0.1:%1").arg(recorder.port());
    c.GetAsync();
    ASSERT_TRUE(log.waitDone());
    const QByteArray header = recorder.header(0);
    EXPECT_TRUE(header.startsWith("GET http://[::1]:8080/x HTTP/1.0\r\n")) << header.toStdString();
    EXPECT_TRUE(header.contains("\r\nHost: [::1]\r\n"));

    ConnectProxy refusing(ConnectProxy::Refuse);
    THttpCli s;
    EventLog slog;
    slog.attach(&s);
    s.URL = "https://[::1]/x";
    s.Proxy = QStringLiteral("127.0.0.1:%1").arg(refusing.port());
    s.GetAsync();
    ASSERT_TRUE(slog.waitDone());
    EXPECT_EQ(refusing.header(0), "CONNECT [::1]:443 HTTP/1.0\r\nHost: [::1]:443\r\n\r\n");
    EXPECT_EQ(s.StatusCode(), 407);
}
