// https through the HTTP client: against target-sim's https port and scripted
// servers on loopback, with certificates made here.
#include "HttpTestUtil.h"
#include "support/TargetSim.h"
#include "support/TestCertificates.h"
#include "support/TlsTestServer.h"

#include <gtest/gtest.h>
#include <QBuffer>
#include <QUrl>

using namespace lb::net;
using lb::test::ConnectProxy;
using lb::test::headerOf;
using lb::test::pattern;
using lb::test::RawServer;
using lb::test::runUntil;
using lb::test::sharedCertificates;
using lb::test::TargetSim;
using lb::test::TlsTestServer;
using Step = RawServer::Step;

namespace {

// A GET whose client trusts the test CA.
struct Fetch : lb::test::Fetch {
    explicit Fetch(const QString& url) : lb::test::Fetch(url) {
        c.Tls.caFiles << sharedCertificates().caFile();
    }
};

class Https : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sim = new TargetSim(lb::test::simTlsArgs()); }
    static void TearDownTestSuite() {
        delete sim;
        sim = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(sharedCertificates().ok());
        ASSERT_TRUE(sim->ok()) << "target-sim did not start";
        before = int(sim->requests().size());
    }
    // The requests target-sim logged since the test began.
    QList<QJsonObject> requests() const { return sim->requests().mid(before); }
    static TargetSim* sim;
    int before = 0;
};
TargetSim* Https::sim = nullptr;

QString httpsUrl(quint16 port, const QString& host = QStringLiteral("127.0.0.1")) {
    return QStringLiteral("https://%1:%2/").arg(host).arg(port);
}

} // namespace

TEST_F(Https, LargeBodiesBothWaysAndTheSameEventsAndRequestAsHttp) {
    Fetch big(sim->tlsUrl("/bytes/5000000"));
    ASSERT_TRUE(big.run());
    EXPECT_EQ(big.c.ReceivedCount(), 5000000);
    EXPECT_TRUE(big.log.body == pattern(5000000));
    EXPECT_LE(big.log.largestChunk, 8192);

    // The string body of the submission run's client, in pieces over TLS.
    const QByteArray sent = pattern(100000);
    TSTHttpCli post;
    post.Tls.caFiles << sharedCertificates().caFile();
    QBuffer body;
    post.SendStream = &body;
    post.Stream = QString::fromLatin1(sent);
    post.URL = sim->tlsUrl("/echo");
    lb::test::EventLog log;
    log.attach(&post);
    post.PostAsync();
    ASSERT_TRUE(log.waitDone(20000));
    EXPECT_EQ(post.StatusCode(), 200);
    EXPECT_EQ(post.SentCount(), sent.size());
    EXPECT_GT(log.events.count(QStringLiteral("SendData:8193")), 10);
    EXPECT_TRUE(log.body.startsWith("POST /echo HTTP/1.0\r\n"));
    EXPECT_TRUE(log.body.endsWith(sent));

    // The same small request over http and https.
    Fetch plain(sim->url("/bytes/10"));
    Fetch secure(sim->tlsUrl("/bytes/10"));
    ASSERT_TRUE(plain.run());
    ASSERT_TRUE(secure.run());
    EXPECT_EQ(plain.log.compact(), secure.log.compact());
    EXPECT_EQ(secure.summary(), "200 OK|error 0|doc|abcdefghij");
    const QList<QJsonObject> logged = requests().mid(2);
    ASSERT_EQ(logged.size(), 2);
    EXPECT_EQ(logged[0].value("headers"), logged[1].value("headers"));
    EXPECT_TRUE(logged[1].value("tls").toBool());
    EXPECT_EQ(logged[1].value("sni").toString(), ""); // an IP literal sends no name

    Fetch named(sim->tlsUrl("/", "localhost"));
    ASSERT_TRUE(named.run());
    EXPECT_EQ(named.c.StatusCode(), 200);
    EXPECT_EQ(requests().last().value("sni").toString(), "localhost");
    EXPECT_EQ(headerOf(requests().last(), "Host"), "localhost");
}

// Every way a TLS connection fails ends the request as a failed connection
// would, before any request leaves the client; checks turned off let a
// certificate for another name through.
TEST_F(Https, EachTlsFailureEndsLikeAFailedConnection) {
    const lb::test::TestCertificates& certs = sharedCertificates();
    TlsTestServer other(certs.otherCert(), certs.otherKey());
    RawServer odd;
    ASSERT_TRUE(other.ok());
    odd.addScript({}, false); // closes at once
    odd.addScript({{Step::Send, "HTTP/1.0 200 OK\r\n\r\n<html>plain</html>\r\n", 0}}, false);
    const QStringList ca{certs.caFile()};
    struct Row {
        const char* name;
        QString url;
        QStringList caFiles;
        bool verify;
        QString phrase; // ending in "*": the start of the phrase
    };
    const Row rows[] = {
        {"no trusted CA",
         sim->tlsUrl("/"),
         {},
         true,
         "TLS: certificate verify failed: unable to get local issuer certificate"},
        {"a CA file that cannot be read",
         sim->tlsUrl("/"),
         {"/nonexistent/ca.pem"},
         true,
         "TLS: cannot read CA file /nonexistent/ca.pem"},
        {"another name", httpsUrl(other.port(), "localhost"), ca, true,
         "TLS: certificate verify failed: hostname mismatch"},
        {"another address", httpsUrl(other.port()), ca, true,
         "TLS: certificate verify failed: IP address mismatch"},
        {"checks off: neither chain nor name", httpsUrl(other.port()), {}, false, "OK"},
        {"closed in the handshake", httpsUrl(odd.port()), ca, true,
         "TLS: handshake failed: connection closed"},
        {"a plain HTTP answer", httpsUrl(odd.port()), ca, true, "TLS: handshake failed: *"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        lb::test::Fetch f(row.url);
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
    EXPECT_TRUE(requests().isEmpty()); // no request left the client
}

TEST_F(Https, AbortWhileTheServerStallsTheHandshake) {
    RawServer server;
    server.addScript({{Step::HoldUntilClosed, {}, 0}}, false);
    Fetch stalled(httpsUrl(server.port()));
    stalled.c.GetAsync();
    ASSERT_TRUE(runUntil([&] { return server.connections() == 1; }));
    runUntil([] { return false; }, 200); // the client now waits for the server's hello
    EXPECT_EQ(stalled.c.State(), hsDnsLookupDone);
    stalled.c.Abort();
    EXPECT_EQ(stalled.c.ReasonPhrase(), "Connection aborted on request");
    ASSERT_TRUE(stalled.log.waitDone());
    runUntil([] { return false; }, 200);
    EXPECT_EQ(stalled.summary(), "404 Connection aborted on request|error 3|cut|");
    EXPECT_EQ(stalled.log.done, 1);
}

TEST_F(Https, RecordsDribbledInPiecesMakeTheWholeDocument) {
    TlsTestServer server(sharedCertificates().serverCert(), sharedCertificates().serverKey());
    ASSERT_TRUE(server.ok());
    const QByteArray page = "<html>" + pattern(700) + "</html>";
    server.add("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + page, 3);
    Fetch dribbled(httpsUrl(server.port()));
    ASSERT_TRUE(dribbled.run());
    EXPECT_EQ(dribbled.summary(), "200 OK|error 0|doc|" + page.toStdString());
    EXPECT_EQ(dribbled.c.ContentType(), "text/html");
}

// Where a Location leads, scheme and port, is followLocation's table
// (HttpParseTest); here the one client switching TLS on and off.
TEST_F(Https, RedirectsBetweenHttpAndHttps) {
    Fetch up(sim->url("/redirect-to?url=" + QUrl::toPercentEncoding(sim->tlsUrl("/bytes/7"))));
    ASSERT_TRUE(up.run());
    EXPECT_EQ(up.summary(), "200 OK|error 0|doc|abcdefg");
    EXPECT_EQ(up.c.Location(), "https://127.0.0.1/bytes/7"); // as for http: no port
    Fetch down(sim->tlsUrl("/redirect-to?url=" + QUrl::toPercentEncoding(sim->url("/bytes/3"))));
    ASSERT_TRUE(down.run());
    EXPECT_EQ(down.summary(), "200 OK|error 0|doc|abc");
    QList<bool> tls;
    for (const QJsonObject& r : requests())
        tls << r.value("tls").toBool();
    EXPECT_EQ(tls, QList<bool>({false, true, true, false}));
}

TEST_F(Https, ThroughAProxyTunnel) {
    ConnectProxy proxy;
    Fetch f(sim->tlsUrl("/bytes/20?a=1"));
    f.c.Proxy = "127.0.0.1";
    f.c.ProxyPort = QString::number(proxy.port());
    f.c.ProxyUsername = "pu";
    f.c.ProxyPassword = "pp";
    ASSERT_TRUE(f.run());
    const QString target = QStringLiteral("127.0.0.1:%1").arg(sim->tlsPort());
    EXPECT_EQ(proxy.header(0), QStringLiteral("CONNECT %1 HTTP/1.0\r\nHost: %1\r\n"
                                              "Proxy-Authorization: Basic cHU6cHA=\r\n\r\n")
                                   .arg(target)
                                   .toLatin1());
    EXPECT_EQ(f.summary(), "200 OK|error 0|doc|" + pattern(20).toStdString());
    // Inside the tunnel the request is the one sent without a proxy.
    ASSERT_EQ(requests().size(), 1);
    const QJsonObject r = requests()[0];
    EXPECT_EQ(r.value("target").toString(), "/bytes/20?a=1");
    EXPECT_TRUE(r.value("tls").toBool());
    EXPECT_EQ(headerOf(r, "Host"), "127.0.0.1");
    EXPECT_EQ(headerOf(r, "Proxy-Authorization"), "");
}

TEST_F(Https, ProxyRefusalClosingAndStallingEndTheRequest) {
    // The default port, and an IPv6 literal in brackets.
    ConnectProxy refusing(ConnectProxy::Refuse);
    Fetch refused("https://[::1]/x");
    refused.c.Proxy = QStringLiteral("127.0.0.1:%1").arg(refusing.port());
    ASSERT_TRUE(refused.run());
    EXPECT_EQ(refusing.header(0), "CONNECT [::1]:443 HTTP/1.0\r\nHost: [::1]:443\r\n\r\n");
    EXPECT_EQ(refused.summary(), "407 Proxy Authentication Required|error 0|cut|");
    EXPECT_TRUE(refusing.after(0).isEmpty()); // nothing more was sent

    RawServer closing;
    closing.addScript({});
    Fetch closed("https://localhost/x");
    closed.c.Proxy = QStringLiteral("127.0.0.1:%1").arg(closing.port());
    ASSERT_TRUE(closed.run());
    EXPECT_EQ(closed.c.StatusCode(), 404);
    EXPECT_EQ(closed.c.ReasonPhrase(), "TLS: handshake failed: connection closed");
    EXPECT_NE(closed.log.doneError, 0);

    RawServer stalling;
    stalling.addScript({{Step::HoldUntilClosed, {}, 0}});
    Fetch stalled("https://localhost/x");
    stalled.c.Proxy = QStringLiteral("127.0.0.1:%1").arg(stalling.port());
    stalled.c.GetAsync();
    ASSERT_TRUE(runUntil([&] { return !stalling.request(0, 0).isEmpty(); }));
    stalled.c.Abort();
    ASSERT_TRUE(stalled.log.waitDone());
    EXPECT_EQ(stalled.summary(), "404 Connection aborted on request|error 3|cut|");
    EXPECT_EQ(stalled.log.done, 1);
}

TEST(Ipv6, HttpsToLoopbackWritesBracketsAndSendsNoServerName) {
    TlsTestServer server(sharedCertificates().serverCert(), sharedCertificates().serverKey(), true);
    ASSERT_TRUE(server.ok());
    server.add("HTTP/1.0 302 Found\r\nLocation: /y\r\n\r\n");
    Fetch s(QStringLiteral("https://[::1]:%1/x").arg(server.port()));
    ASSERT_TRUE(s.run());
    EXPECT_EQ(s.c.StatusCode(), 200) << s.c.ReasonPhrase().toStdString();
    EXPECT_EQ(s.c.Location(), "https://[::1]/y");
    EXPECT_TRUE(server.request(0).contains("\r\nHost: [::1]\r\n"));
    EXPECT_TRUE(server.request(1).startsWith("GET /y HTTP/1.0\r\n"));
    EXPECT_EQ(server.serverName(0), ""); // no name for an address
}
