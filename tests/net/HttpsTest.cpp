// https through the HTTP client: against target-sim's https port and scripted
// TLS servers on loopback, with certificates made here.
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

// Every way a TLS connection fails ends the request as a failed connection
// would, before any request leaves the client; checks turned off let a
// certificate for another name through.
TEST(Https, EachTlsFailureEndsLikeAFailedConnection) {
    const lb::test::TestCertificates& certs = sharedCertificates();
    TargetSim sim(simTlsArgs());
    ASSERT_TRUE(sim.ok());
    TlsTestServer other(certs.otherCert(), certs.otherKey());
    TlsTestServer odd(certs.serverCert(), certs.serverKey());
    ASSERT_TRUE(other.ok() && odd.ok());
    odd.add({TlsTestServer::Behaviour::CloseInHandshake});
    TlsTestServer::Behaviour plain{TlsTestServer::Behaviour::PlainText};
    plain.answer = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html>plain</html>\r\n";
    odd.add(plain);
    const QString otherAt = QStringLiteral("https://%1:") + QString::number(other.port()) + "/";
    const QString oddUrl = QStringLiteral("https://127.0.0.1:%1/").arg(odd.port());
    struct Row {
        const char* name;
        QString url;
        QStringList caFiles;
        bool verify;
        QString phrase; // ending in "*": the start of the phrase
    };
    const Row rows[] = {
        {"no trusted CA",
         sim.tlsUrl("/"),
         {},
         true,
         "TLS: certificate verify failed: unable to get local issuer certificate"},
        {"a CA file that cannot be read",
         sim.tlsUrl("/"),
         {"/nonexistent/ca.pem"},
         true,
         "TLS: cannot read CA file /nonexistent/ca.pem"},
        {"another name",
         otherAt.arg("localhost"),
         {certs.caFile()},
         true,
         "TLS: certificate verify failed: hostname mismatch"},
        {"another address",
         otherAt.arg("127.0.0.1"),
         {certs.caFile()},
         true,
         "TLS: certificate verify failed: IP address mismatch"},
        {"checks off: neither chain nor name", otherAt.arg("127.0.0.1"), {}, false, "OK"},
        {"closed in the handshake",
         oddUrl,
         {certs.caFile()},
         true,
         "TLS: handshake failed: connection closed"},
        {"a plain HTTP answer", oddUrl, {certs.caFile()}, true, "TLS: handshake failed: *"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Fetch f(row.url, false);
        f.c.Tls.caFiles = row.caFiles;
        f.c.Tls.verify = row.verify;
        ASSERT_TRUE(f.run());
        const QString phrase = f.c.ReasonPhrase();
        if (row.phrase.endsWith('*')) {
            EXPECT_TRUE(phrase.startsWith(row.phrase.chopped(1))) << phrase.toStdString();
            EXPECT_GT(phrase.size(), row.phrase.size());
        } else {
            EXPECT_EQ(phrase, row.phrase);
        }
        EXPECT_EQ(f.log.done, 1);
        const bool failed = row.verify;
        EXPECT_EQ(f.c.StatusCode(), failed ? 404 : 200);
        EXPECT_EQ(f.log.doneError != 0, failed);
        EXPECT_EQ(f.log.events.contains("RequestHeaderBegin"), !failed);
        EXPECT_TRUE(f.log.body.isEmpty());
    }
    EXPECT_TRUE(sim.requests().isEmpty()); // no request left the client
}

TEST(Https, AbortWhileTheServerStallsTheHandshake) {
    TlsTestServer server(sharedCertificates().serverCert(), sharedCertificates().serverKey());
    ASSERT_TRUE(server.ok());
    server.add({TlsTestServer::Behaviour::StallHandshake});
    Fetch stalled(QStringLiteral("https://127.0.0.1:%1/").arg(server.port()));
    stalled.c.GetAsync();
    ASSERT_TRUE(runUntil([&] { return server.connections() == 1; }));
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

TEST(Https, RecordsDribbledInPiecesMakeTheWholeDocument) {
    TlsTestServer server(sharedCertificates().serverCert(), sharedCertificates().serverKey());
    ASSERT_TRUE(server.ok());
    const QByteArray page = "<html>" + pattern(700) + "</html>";
    TlsTestServer::Behaviour split;
    split.answer = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + page;
    split.pieceSize = 3;
    server.add(split);
    Fetch dribbled(QStringLiteral("https://127.0.0.1:%1/page.htm").arg(server.port()));
    ASSERT_TRUE(dribbled.run());
    EXPECT_EQ(dribbled.c.StatusCode(), 200);
    EXPECT_EQ(dribbled.log.body, page);
    EXPECT_EQ(dribbled.c.ContentType(), "text/html");
}

// Where a Location leads, scheme and port, is followLocation's table
// (HttpParseTest); here the one client switching TLS on and off.
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
    QList<bool> tls;
    for (const QJsonObject& r : sim.requests())
        tls << r.value("tls").toBool();
    EXPECT_EQ(tls, QList<bool>({false, true, true, false}));
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
    // The default port, and an IPv6 literal in brackets.
    ConnectProxy refusing(ConnectProxy::Refuse);
    Fetch refused("https://[::1]/x");
    refused.c.Proxy = QStringLiteral("127.0.0.1:%1").arg(refusing.port());
    ASSERT_TRUE(refused.run());
    EXPECT_EQ(refusing.header(0), "CONNECT [::1]:443 HTTP/1.0\r\nHost: [::1]:443\r\n\r\n");
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

TEST(Ipv6, HttpsToLoopbackWritesBracketsAndSendsNoServerName) {
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
