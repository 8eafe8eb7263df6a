// https through the HTTP client: against target-sim's https port and scripted
// servers on loopback, with certificates made here.
#include "HttpTestUtil.h"
#include "support/ConnectProxy.h"
#include "support/TargetSim.h"
#include "support/TestCertificates.h"

#include <gtest/gtest.h>
#include <QBuffer>
#include <QUrl>

using namespace lb::net;
using lb::test::headerOf;
using lb::test::pattern;
using lb::test::RawServer;
using lb::test::runUntil;
using lb::test::sharedCertificates;
using lb::test::TargetSim;
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

QString httpsUrl(quint16 port) {
    return QStringLiteral("https://127.0.0.1:%1/").arg(port);
}

} // namespace

TEST_F(Https, LargeBodiesBothWaysAndTheSameEventsAndRequestAsHttp) {
    // Records bigger than a read of the client arrive in pieces.
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
    TargetSim other({"--tls-port", "0", "--cert", certs.otherCert(), "--key", certs.otherKey()});
    RawServer odd;
    ASSERT_TRUE(other.ok());
    odd.addScript({}, false); // closes at once
    odd.addScript({{Step::Send, "HTTP/1.0 200 OK\r\n\r\n<html>plain</html>\r\n", 0}}, false);
    const QStringList ca{certs.caFile()};
    const QString unverified = "TLS: certificate verify failed: ";
    struct Row {
        QString url;
        QStringList caFiles;
        bool verify;
        QString phrase; // ending in "*": the start of the phrase
    };
    // clang-format off
    const Row rows[] = {
        {sim->tlsUrl("/"), {}, true, unverified + "unable to get local issuer certificate"},
        {sim->tlsUrl("/"), {"/nonexistent/ca.pem"}, true, "TLS: cannot read CA file /nonexistent/ca.pem"},
        {other.tlsUrl("/", "localhost"), ca, true, unverified + "hostname mismatch"},
        {other.tlsUrl("/"), ca, true, unverified + "IP address mismatch"},
        {other.tlsUrl("/"), {}, false, "OK"}, // checks off: neither chain nor name
        {httpsUrl(odd.port()), ca, true, "TLS: handshake failed: connection closed"},
        {httpsUrl(odd.port()), ca, true, "TLS: handshake failed: *"}, // a plain HTTP answer
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.url.toStdString() + " " + row.phrase.toStdString());
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
        EXPECT_EQ(f.log.body.isEmpty(), failed);
    }
    EXPECT_TRUE(requests().isEmpty()); // no request left the client
    EXPECT_EQ(other.requests().size(), 1);
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

// Where a Location leads, scheme and port, is followLocation's table
// (HttpParseTest); here the one client switching TLS on (and off:
// HostileServerTest's credentials).
TEST_F(Https, RedirectFromHttpToHttps) {
    Fetch up(sim->url("/redirect-to?url=" + QUrl::toPercentEncoding(sim->tlsUrl("/bytes/7"))));
    ASSERT_TRUE(up.run());
    EXPECT_EQ(up.summary(), "200 OK|error 0|doc|abcdefg");
    ASSERT_EQ(requests().size(), 2);
    EXPECT_FALSE(requests()[0].value("tls").toBool());
    EXPECT_TRUE(requests()[1].value("tls").toBool());
}

TEST_F(Https, ThroughAProxyTunnel) {
    lb::test::ConnectProxy proxy;
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
    EXPECT_EQ(headerOf(r, "Host"), "127.0.0.1");
    EXPECT_EQ(headerOf(r, "Proxy-Authorization"), "");
}

// A proxy that refuses or stalls instead of opening the tunnel; the default
// port, and an IPv6 literal in brackets.
TEST_F(Https, ProxyRefusalAndStallingEndTheRequest) {
    RawServer refusing;
    refusing.addAnswer("HTTP/1.0 407 Proxy Authentication Required\r\n\r\n");
    Fetch refused("https://[::1]/x");
    refused.c.Proxy = QStringLiteral("127.0.0.1:%1").arg(refusing.port());
    ASSERT_TRUE(refused.run());
    EXPECT_EQ(refusing.request(0), "CONNECT [::1]:443 HTTP/1.0\r\nHost: [::1]:443\r\n\r\n");
    EXPECT_EQ(refused.summary(), "407 Proxy Authentication Required|error 0|cut|");

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
