// IPv6 literals: how they are written on the wire (their splitting and
// lookup are checked with the other URLs and addresses).
#include "HttpTestUtil.h"
#include "support/TestCertificates.h"
#include "support/TlsTestServer.h"

#include <gtest/gtest.h>

using namespace lb::net;
using lb::test::ConnectProxy;
using lb::test::Fetch;
using lb::test::TestCertificates;
using lb::test::TlsTestServer;

TEST(Ipv6, HttpAndHttpsToLoopbackWriteBracketsOnTheWire) {
    ConnectProxy plain(ConnectProxy::Refuse,
                       "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html>ok</html>", true);
    Fetch f(QStringLiteral("http://[::1]:%1/x").arg(plain.port()));
    ASSERT_TRUE(f.run());
    EXPECT_EQ(f.c.StatusCode(), 200);
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
    Fetch s(QStringLiteral("https://[::1]:%1/x").arg(server.port()));
    s.c.Tls.caFiles << certs.caFile();
    ASSERT_TRUE(s.run());
    EXPECT_EQ(s.c.StatusCode(), 200) << s.c.ReasonPhrase().toStdString();
    EXPECT_EQ(s.c.Location(), "https://[::1]/y");
    EXPECT_TRUE(server.request(0).contains("\r\nHost: [::1]\r\n"));
    EXPECT_TRUE(server.request(1).startsWith("GET /y HTTP/1.0\r\n"));
    EXPECT_EQ(server.serverName(0), ""); // no name for an address
}

TEST(Ipv6, ProxyRequestsNameTheLiteralInBrackets) {
    ConnectProxy recorder(ConnectProxy::Refuse, "HTTP/1.0 200 OK\r\n\r\n<html>ok</html>");
    Fetch f("http://[::1]:8080/x");
    f.c.Proxy = QStringLiteral("127.0.0.1:%1").arg(recorder.port());
    ASSERT_TRUE(f.run());
    const QByteArray header = recorder.header(0);
    EXPECT_TRUE(header.startsWith("GET http://[::1]:8080/x HTTP/1.0\r\n")) << header.toStdString();
    EXPECT_TRUE(header.contains("\r\nHost: [::1]\r\n"));

    ConnectProxy refusing(ConnectProxy::Refuse);
    Fetch s("https://[::1]/x");
    s.c.Proxy = QStringLiteral("127.0.0.1:%1").arg(refusing.port());
    ASSERT_TRUE(s.run());
    EXPECT_EQ(refusing.header(0), "CONNECT [::1]:443 HTTP/1.0\r\nHost: [::1]:443\r\n\r\n");
    EXPECT_EQ(s.c.StatusCode(), 407);
}
