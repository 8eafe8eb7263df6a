// https through the HTTP client: against target-sim's https port and scripted
// TLS servers on loopback, with certificates made here; and IPv6 literals as
// they are written on the wire.
#include "HttpTestUtil.h"
#include "support/TargetSim.h"
#include "support/TestCertificates.h"
#include "support/TlsTestServer.h"

#include <gtest/gtest.h>
#include <QBuffer>
#include <QJsonArray>

#include <memory>

using namespace lb::net;
using lb::test::ConnectProxy;
using lb::test::pattern;
using lb::test::runUntil;
using lb::test::sharedCertificates;
using lb::test::simTlsArgs;
using lb::test::TargetSim;
using lb::test::TlsTestServer;

namespace {

// A GET whose client trusts the test CA.
struct Fetch : lb::test::Fetch {
    explicit Fetch(const QString& url, bool trustTestCa = true) : lb::test::Fetch(url) {
        if (trustTestCa)
            c.Tls.caFiles << sharedCertificates().caFile();
    }
};

QString headerValue(const QJsonObject& request, const QString& name) {
    for (const QJsonValue& h : request.value("headers").toArray())
        if (h.toArray().at(0).toString().compare(name, Qt::CaseInsensitive) == 0)
            return h.toArray().at(1).toString();
    return QString();
}

} // namespace

TEST(Https, LargeBodyIntactInChunksAndSameEventsAndRequestAsHttp) {
    ASSERT_TRUE(sharedCertificates().ok());
    TargetSim sim(simTlsArgs());
    ASSERT_TRUE(sim.ok());

    Fetch big(sim.tlsUrl("/bytes/5000000"));
    ASSERT_TRUE(big.run());
    EXPECT_EQ(big.c.StatusCode(), 200);
    EXPECT_EQ(big.log.doneError, 0);
    EXPECT_EQ(big.c.ReceivedCount(), 5000000);
    EXPECT_TRUE(big.log.body == pattern(5000000));
    EXPECT_LE(big.log.largestChunk, 8192);

    // The same small request over http and https: same events, same request.
    Fetch plain(sim.url("/bytes/10"));
    Fetch secure(sim.tlsUrl("/bytes/10"));
    ASSERT_TRUE(plain.run());
    ASSERT_TRUE(secure.run());
    EXPECT_EQ(plain.log.compact(), secure.log.compact());
    EXPECT_EQ(secure.log.body, "abcdefghij");
    const QList<QJsonObject> logged = sim.requests();
    ASSERT_EQ(logged.size(), 3);
    EXPECT_EQ(logged[1].value("headers"), logged[2].value("headers"));
    EXPECT_FALSE(logged[1].value("tls").toBool());
    EXPECT_TRUE(logged[2].value("tls").toBool());
    EXPECT_EQ(logged[2].value("sni").toString(), ""); // an IP literal sends no name
}

TEST(Https, ServerNameSentForHostNamesAndPostBodyArrivesWhole) {
    TargetSim sim(simTlsArgs());
    ASSERT_TRUE(sim.ok());
    Fetch named(sim.tlsUrl("/", "localhost"));
    ASSERT_TRUE(named.run());
    EXPECT_EQ(named.c.StatusCode(), 200);
    ASSERT_EQ(sim.requests().size(), 1);
    EXPECT_EQ(sim.requests()[0].value("sni").toString(), "localhost");
    EXPECT_EQ(headerValue(sim.requests()[0], "Host"), "localhost");

    Fetch post(sim.tlsUrl("/echo"));
    QByteArray sent(100000, Qt::Uninitialized);
    for (int i = 0; i < sent.size(); ++i)
        sent[i] = char('A' + (i * 7) % 26);
    QBuffer body;
    body.setData(sent);
    body.open(QIODevice::ReadOnly);
    post.c.SendStream = &body;
    post.c.PostAsync();
    ASSERT_TRUE(post.log.waitDone(20000));
    EXPECT_EQ(post.c.StatusCode(), 200);
    EXPECT_EQ(post.c.SentCount(), sent.size());
    EXPECT_GT(post.log.events.count(QStringLiteral("SendData:8193")), 10);
    EXPECT_TRUE(post.log.body.endsWith(sent));
    EXPECT_TRUE(post.log.body.startsWith("POST /echo HTTP/1.0\r\n"));
}

TEST(Https, VerificationFailuresEndLikeAFailedConnection) {
    TargetSim sim(simTlsArgs());
    ASSERT_TRUE(sim.ok());

    Fetch untrusted(sim.tlsUrl("/"), false);
    ASSERT_TRUE(untrusted.run());
    EXPECT_EQ(untrusted.c.StatusCode(), 404);
    EXPECT_EQ(untrusted.c.ReasonPhrase(),
              "TLS: certificate verify failed: unable to get local issuer certificate");
    EXPECT_NE(untrusted.log.doneError, 0);
    EXPECT_EQ(untrusted.log.done, 1);
    EXPECT_FALSE(untrusted.log.events.contains("SessionConnected"));
    EXPECT_FALSE(untrusted.log.events.contains("RequestHeaderBegin"));
    EXPECT_TRUE(sim.requests().isEmpty()); // no request left the client

    // A certificate for another name, from a trusted CA.
    TlsTestServer other(sharedCertificates().otherCert(), sharedCertificates().otherKey());
    ASSERT_TRUE(other.ok());
    Fetch byName(QStringLiteral("https://localhost:%1/").arg(other.port()));
    ASSERT_TRUE(byName.run());
    EXPECT_EQ(byName.c.ReasonPhrase(), "TLS: certificate verify failed: hostname mismatch");
    Fetch byAddress(QStringLiteral("https://127.0.0.1:%1/").arg(other.port()));
    ASSERT_TRUE(byAddress.run());
    EXPECT_EQ(byAddress.c.ReasonPhrase(), "TLS: certificate verify failed: IP address mismatch");

    // Verification off: neither chain nor name is checked.
    Fetch unchecked(QStringLiteral("https://127.0.0.1:%1/").arg(other.port()), false);
    unchecked.c.Tls.verify = false;
    ASSERT_TRUE(unchecked.run());
    EXPECT_EQ(unchecked.c.StatusCode(), 200);
    EXPECT_EQ(unchecked.log.doneError, 0);

    Fetch missingCa(sim.tlsUrl("/"), false);
    missingCa.c.Tls.caFiles << "/nonexistent/ca.pem";
    ASSERT_TRUE(missingCa.run());
    EXPECT_EQ(missingCa.c.StatusCode(), 404);
    EXPECT_EQ(missingCa.c.ReasonPhrase(), "TLS: cannot read CA file /nonexistent/ca.pem");
    EXPECT_NE(missingCa.log.doneError, 0);
}

TEST(Https, HandshakeFailuresAndAbortWhileTheServerStalls) {
    TlsTestServer server(sharedCertificates().serverCert(), sharedCertificates().serverKey());
    ASSERT_TRUE(server.ok());
    const QString url = QStringLiteral("https://127.0.0.1:%1/").arg(server.port());

    server.add({TlsTestServer::Behaviour::CloseInHandshake});
    Fetch closed(url);
    ASSERT_TRUE(closed.run());
    EXPECT_EQ(closed.c.StatusCode(), 404);
    EXPECT_EQ(closed.c.ReasonPhrase(), "TLS: handshake failed: connection closed");
    EXPECT_NE(closed.log.doneError, 0);

    TlsTestServer::Behaviour plain{TlsTestServer::Behaviour::PlainText};
    plain.answer = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html>plain</html>\r\n";
    server.add(plain);
    Fetch notTls(url);
    ASSERT_TRUE(notTls.run());
    EXPECT_EQ(notTls.c.StatusCode(), 404);
    EXPECT_TRUE(notTls.c.ReasonPhrase().startsWith("TLS: handshake failed: "))
        << notTls.c.ReasonPhrase().toStdString();
    EXPECT_GT(notTls.c.ReasonPhrase().size(), int(strlen("TLS: handshake failed: ")));
    EXPECT_TRUE(notTls.log.body.isEmpty());

    server.add({TlsTestServer::Behaviour::StallHandshake});
    Fetch stalled(url);
    stalled.c.GetAsync();
    ASSERT_TRUE(runUntil([&] { return server.connections() == 3; }));
    runUntil([] { return false; }, 200); // the client now waits for the server's hello
    EXPECT_EQ(stalled.c.State(), hsDnsLookupDone);
    stalled.c.Abort();
    EXPECT_EQ(stalled.c.StatusCode(), 404);
    EXPECT_EQ(stalled.c.ReasonPhrase(), "Connection aborted on request");
    ASSERT_TRUE(stalled.log.waitDone());
    runUntil([] { return false; }, 200);
    EXPECT_EQ(stalled.log.done, 1);
    EXPECT_EQ(stalled.log.doneError, 3);
}

TEST(Https, RecordsDribbledInPiecesAndCloseWithoutNotifyEndTheDocument) {
    TlsTestServer server(sharedCertificates().serverCert(), sharedCertificates().serverKey());
    ASSERT_TRUE(server.ok());
    const QString url = QStringLiteral("https://127.0.0.1:%1/page.htm").arg(server.port());
    const QByteArray page = "<html>" + pattern(700) + "</html>";
    TlsTestServer::Behaviour split;
    split.answer = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + page;
    split.pieceSize = 3;
    server.add(split);
    Fetch dribbled(url);
    ASSERT_TRUE(dribbled.run());
    EXPECT_EQ(dribbled.c.StatusCode(), 200);
    EXPECT_EQ(dribbled.log.body, page);
    EXPECT_EQ(dribbled.c.ContentType(), "text/html");

    TlsTestServer::Behaviour abrupt;
    abrupt.answer = "HTTP/1.0 200 OK\r\n\r\n" + page;
    abrupt.closeNotify = false;
    server.add(abrupt);
    Fetch noNotify(url);
    ASSERT_TRUE(noNotify.run());
    EXPECT_EQ(noNotify.c.StatusCode(), 200);
    EXPECT_EQ(noNotify.c.ReasonPhrase(), "OK");
    EXPECT_EQ(noNotify.log.doneError, 0);
    EXPECT_EQ(noNotify.log.body, page);
    EXPECT_TRUE(noNotify.log.events.contains("DocEnd"));
}

TEST(Https, RedirectsBetweenHttpAndHttps) {
    TargetSim sim(simTlsArgs());
    ASSERT_TRUE(sim.ok());
    const QString toHttps =
        QStringLiteral("https%3A%2F%2F127.0.0.1%3A%1%2Fbytes%2F7").arg(sim.tlsPort());
    Fetch up(sim.url("/redirect-to?url=" + toHttps));
    ASSERT_TRUE(up.run());
    EXPECT_EQ(up.c.StatusCode(), 200);
    EXPECT_EQ(up.log.body, "abcdefg");
    EXPECT_EQ(up.c.Location(), "https://127.0.0.1/bytes/7"); // as for http: no port

    const QString toHttp =
        QStringLiteral("http%3A%2F%2F127.0.0.1%3A%1%2Fbytes%2F3").arg(sim.port());
    Fetch down(sim.tlsUrl("/redirect-to?url=" + toHttp));
    ASSERT_TRUE(down.run());
    EXPECT_EQ(down.log.body, "abc");

    // A Location without protocol stays on https.
    Fetch chain(sim.tlsUrl("/redirect/2"));
    ASSERT_TRUE(chain.run());
    EXPECT_EQ(chain.c.StatusCode(), 200);
    EXPECT_EQ(chain.c.Location(), QStringLiteral("https://127.0.0.1/redirect/0"));
    const QList<QJsonObject> logged = sim.requests();
    ASSERT_EQ(logged.size(), 7);
    EXPECT_FALSE(logged[0].value("tls").toBool());
    EXPECT_TRUE(logged[1].value("tls").toBool());
    EXPECT_TRUE(logged[2].value("tls").toBool());
    EXPECT_FALSE(logged[3].value("tls").toBool());
    for (int i = 4; i < 7; ++i)
        EXPECT_TRUE(logged[i].value("tls").toBool()) << i;

    // Every hop counts towards the cap, whatever its protocol.
    Fetch loop(sim.tlsUrl("/loop"));
    ASSERT_TRUE(loop.run());
    EXPECT_EQ(loop.c.StatusCode(), 404);
    EXPECT_EQ(loop.c.ReasonPhrase(), "Too many redirections");
    EXPECT_EQ(sim.requests().size(), 7 + 21);
}

TEST(Https, LocationChangingToHttpsWithoutPortGoesToPort443) {
    TargetSim sim;
    ASSERT_TRUE(sim.ok());
    Fetch f(sim.url("/redirect-to?url=https%3A%2F%2F127.0.0.1%2Fx"));
    ASSERT_TRUE(f.run());
    EXPECT_EQ(f.c.Location(), "https://127.0.0.1/x");
    // Nothing of ours listens on 443: either refused, or a TLS failure.
    EXPECT_EQ(f.c.StatusCode(), 404);
    EXPECT_NE(f.log.doneError, 0);
    EXPECT_EQ(sim.requests().size(), 1);
}

TEST(Https, ThroughAProxyTunnel) {
    TargetSim sim(simTlsArgs());
    ASSERT_TRUE(sim.ok());
    ConnectProxy proxy;
    Fetch f(sim.tlsUrl("/bytes/20?a=1"));
    f.c.Proxy = "127.0.0.1";
    f.c.ProxyPort = QString::number(proxy.port());
    f.c.ProxyUsername = "pu";
    f.c.ProxyPassword = "pp";
    ASSERT_TRUE(f.run());
    const QString target = QStringLiteral("127.0.0.1:%1").arg(sim.tlsPort());
    EXPECT_EQ(proxy.header(0), QStringLiteral("CONNECT %1 HTTP/1.0\r\nHost: %1\r\n"
                                              "Proxy-Authorization: Basic cHU6cHA=\r\n\r\n")
                                   .arg(target)
                                   .toLatin1());
    EXPECT_EQ(f.c.StatusCode(), 200);
    EXPECT_EQ(f.log.body, pattern(20));
    // Inside the tunnel the request is the one sent without a proxy.
    ASSERT_EQ(sim.requests().size(), 1);
    const QJsonObject r = sim.requests()[0];
    EXPECT_EQ(r.value("target").toString(), "/bytes/20?a=1");
    EXPECT_TRUE(r.value("tls").toBool());
    EXPECT_EQ(headerValue(r, "Host"), "127.0.0.1");
    EXPECT_EQ(headerValue(r, "Proxy-Authorization"), "");
    EXPECT_TRUE(f.log.events.contains("Command:GET /bytes/20?a=1 HTTP/1.0"));
}

TEST(Https, ProxyRefusalClosingAndStallingEndTheRequest) {
    ConnectProxy refusing(ConnectProxy::Refuse);
    Fetch refused("https://localhost/x");
    refused.c.Proxy = QStringLiteral("127.0.0.1:%1").arg(refusing.port());
    ASSERT_TRUE(refused.run());
    EXPECT_EQ(refusing.header(0), "CONNECT localhost:443 HTTP/1.0\r\nHost: localhost:443\r\n\r\n");
    EXPECT_EQ(refused.c.StatusCode(), 407);
    EXPECT_EQ(refused.c.ReasonPhrase(), "Proxy Authentication Required");
    EXPECT_EQ(refused.log.doneError, 0);
    EXPECT_TRUE(refusing.after(0).isEmpty()); // nothing more was sent

    ConnectProxy closing(ConnectProxy::CloseAtOnce);
    Fetch closed("https://localhost/x");
    closed.c.Proxy = QStringLiteral("127.0.0.1:%1").arg(closing.port());
    ASSERT_TRUE(closed.run());
    EXPECT_EQ(closed.c.StatusCode(), 404);
    EXPECT_EQ(closed.c.ReasonPhrase(), "TLS: handshake failed: connection closed");
    EXPECT_NE(closed.log.doneError, 0);

    ConnectProxy stalling(ConnectProxy::Stall);
    Fetch stalled("https://localhost/x");
    stalled.c.Proxy = QStringLiteral("127.0.0.1:%1").arg(stalling.port());
    stalled.c.GetAsync();
    ASSERT_TRUE(runUntil([&] { return !stalling.header(0, 0).isEmpty(); }));
    stalled.c.Abort();
    ASSERT_TRUE(stalled.log.waitDone());
    EXPECT_EQ(stalled.c.ReasonPhrase(), "Connection aborted on request");
    EXPECT_EQ(stalled.log.doneError, 3);
    EXPECT_EQ(stalled.log.done, 1);
}

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

    TlsTestServer server(sharedCertificates().serverCert(), sharedCertificates().serverKey(), true);
    ASSERT_TRUE(server.ok());
    TlsTestServer::Behaviour moved;
    moved.answer = "HTTP/1.0 302 Found\r\nLocation: /y\r\n\r\n";
    server.add(moved);
    Fetch s(QStringLiteral("https://[::1]:%1/x").arg(server.port()));
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
