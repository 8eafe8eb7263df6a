#include "HttpTestUtil.h"
#include "net/SocketErrors.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <sys/socket.h>
#include <unistd.h>

using namespace lb::net;
using lb::test::connectAndWait;
using lb::test::connectTo;
using lb::test::LoopbackPort;
using lb::test::RawServer;
using lb::test::runUntil;

TEST(SocketLookup, DottedAddressShapes) {
    const QList<QPair<QString, QString>> accepted = {
        {"127.0.0.1", "127.0.0.1"},
        {" 10.0.0.255\t", "10.0.0.255"},
        {"001.02.3.004", "1.2.3.4"},
        {"0.0.0.0", "0.0.0.0"},
        {"255.255.255.255", "255.255.255.255"},
        {"1 . 2 .3. 4", "1.2.3.4"},
    };
    for (const auto& [text, normal] : accepted) {
        QString out;
        EXPECT_TRUE(TWSocket::isDottedAddress(text, &out)) << text.toStdString();
        EXPECT_EQ(out, normal);
    }
    for (const char* text :
         {"", ".", "1.2.3", "1.2.3.4.", ".1.2.3", "1.2.3.4.5", "1..3.4", "256.1.1.1", "1.2.3.-4",
          "1.2.3.4a", "a.b.c.d", "1.2.3.99999999999999", "host.example", "::1"}) {
        QString out = "unchanged";
        EXPECT_FALSE(TWSocket::isDottedAddress(text, &out)) << text;
        EXPECT_EQ(out, "unchanged");
    }
    // A lookup of an address literal answers before it returns.
    for (const auto& [text, normal] :
         {std::pair{" 127.000.0.1 ", "127.0.0.1"}, std::pair{" 0:0::1 ", "::1"}}) {
        SCOPED_TRACE(text);
        TWSocket s;
        QList<quint16> answers;
        s.OnDnsLookupDone = [&](TWSocket*, quint16 e) { answers << e; };
        s.DnsLookup(text);
        EXPECT_EQ(answers, QList<quint16>{0});
        EXPECT_EQ(s.DnsResultList(), QStringList{normal});
    }
}

TEST(SocketLookup, ReservedInvalidNamesGiveHostNotFoundWithoutAResolver) {
    // Answered the same whatever the machine's resolver can reach, and
    // later, as every lookup is.
    for (const char* name : {"no-such-host.invalid", "INVALID", "a.b.Invalid."}) {
        SCOPED_TRACE(name);
        TWSocket s;
        QList<quint16> answers;
        s.OnDnsLookupDone = [&](TWSocket*, quint16 e) { answers << e; };
        s.DnsLookup(name);
        EXPECT_TRUE(answers.isEmpty()) << "answered inside DnsLookup";
        ASSERT_TRUE(runUntil([&] { return !answers.isEmpty(); }));
        runUntil([] { return false; }, 50);
        EXPECT_EQ(answers, QList<quint16>{11001});
        EXPECT_TRUE(s.DnsResult().isEmpty());
    }
    // A name that merely looks alike still goes to the resolver.
    EXPECT_FALSE(TWSocket::isReservedInvalidName("invalid.example"));
    EXPECT_FALSE(TWSocket::isReservedInvalidName("notinvalid"));
}

// A cancelled lookup, by the resolver or not, is interrupted at once and
// never answered.
TEST(SocketLookup, CancelFiresInterruptedOnceAndNothingAfter) {
    for (const char* name : {"localhost", "gone.invalid"}) {
        SCOPED_TRACE(name);
        TWSocket s;
        QList<quint16> answers;
        s.OnDnsLookupDone = [&](TWSocket*, quint16 e) { answers << e; };
        s.DnsLookup(name);
        s.CancelDnsLookup();
        EXPECT_EQ(answers, QList<quint16>{10004});
        s.CancelDnsLookup();
        runUntil([] { return false; }, 200);
        EXPECT_EQ(answers, QList<quint16>{10004});
    }
}

// Sends leave straight from the caller's bytes while nothing waits, and are
// queued behind what the socket did not take: either way the peer gets every
// byte once, in order. The emptied queue is told once, later, even though the
// first send's notification was still pending when a later send blocked.
TEST(SocketConnection, BytesLeaveInOrderWhetherSentAtOnceOrQueued) {
    const LoopbackPort listener(true);
    ASSERT_NE(listener.port, 0);

    TWSocket s;
    int dataSent = 0;
    qint64 leftAtOnce = 0;
    s.OnDataSent = [&](TWSocket*, quint16) { ++dataSent; };
    s.OnSendData = [&](TWSocket*, int n) { leftAtOnce += n; };
    ASSERT_TRUE(connectAndWait(s, listener.port));
    const int peer = listener.accept();
    ASSERT_GE(peer, 0);

    // Every byte tells its position, so a lost, doubled or swapped piece shows.
    QByteArray expected;
    for (int i = 0; expected.size() < 12 * 1024 * 1024; ++i) {
        const int size = i % 3 == 0 ? 1 : (i % 3 == 1 ? 1000 : 300000);
        QByteArray piece(size, Qt::Uninitialized);
        for (int k = 0; k < size; ++k)
            piece[k] = char((expected.size() + k) * 7 % 251);
        expected += piece;
        EXPECT_EQ(s.Send(piece.constData(), size), size);
    }
    EXPECT_LT(leftAtOnce, expected.size())
        << "the peer took everything at once: nothing was queued";
    EXPECT_EQ(dataSent, 0);

    QByteArray got;
    std::atomic<qint64> gotCount{0};
    std::thread reader([&] {
        char buf[65536];
        for (;;) {
            const ssize_t n = ::recv(peer, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            got.append(buf, int(n));
            gotCount += n;
        }
    });
    const bool emptied = runUntil([&] { return dataSent > 0; });
    // Closing resets the connection (linger on, time 0): first let the peer
    // take what the kernel still holds.
    runUntil([&] { return gotCount.load() >= expected.size(); });
    runUntil([] { return false; }, 300); // a second notification would come now
    s.Close();
    reader.join();
    ::close(peer);
    ASSERT_TRUE(emptied);
    EXPECT_EQ(dataSent, 1);
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
}

TEST(SocketConnection, ExceptionInHandlerAbortsWithoutEscaping) {
    RawServer server;
    server.addScript(
        {{RawServer::Step::Send, "boom", 0}, {RawServer::Step::HoldUntilClosed, {}, 0}}, false);
    TWSocket s;
    int closed = 0;
    QString caught;
    s.OnDataAvailable = [&](TWSocket*, quint16) { throw std::runtime_error("handler failed"); };
    s.OnBgException = [&](TWSocket*, const std::exception& e, bool& canClose) {
        caught = e.what();
        EXPECT_TRUE(canClose);
    };
    s.OnSessionClosed = [&](TWSocket*, quint16) { ++closed; };
    connectTo(s, server.port());
    ASSERT_TRUE(runUntil([&] { return closed > 0; }));
    EXPECT_EQ(caught, "handler failed");
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(SocketConnection, AConnectNobodyAnswersTimesOutWithTheStacksError) {
    // Connects to a full accept queue hang; the socket gives up on its own
    // and tells it like any failed connect: 10060, then closed.
    const lb::test::BlackHolePort hole;
    ASSERT_NE(hole.port, 0);
    TWSocket s;
    s.setConnectTimeout(300);
    QList<quint16> connected;
    s.OnSessionConnected = [&](TWSocket*, quint16 e) { connected << e; };
    connectTo(s, hole.port);
    EXPECT_EQ(s.State(), wsConnecting);
    ASSERT_TRUE(runUntil([&] { return !connected.isEmpty(); }, 20000));
    EXPECT_EQ(connected, QList<quint16>{10060});
    EXPECT_EQ(socketErrorDesc(connected.first()), "Connection timed out");
    EXPECT_EQ(s.State(), wsClosed);

    // The socket is whole again: the next connect to a live port succeeds
    // and is not cut off by the earlier time-out.
    const LoopbackPort live(true);
    connected.clear();
    connectTo(s, live.port);
    ASSERT_TRUE(runUntil([&] { return !connected.isEmpty(); }));
    EXPECT_EQ(connected, QList<quint16>{0});
    runUntil([] { return false; }, 600);
    EXPECT_EQ(s.State(), wsConnected);
    EXPECT_EQ(connected.size(), 1);
}
