// The socket layer's shared plumbing: many sockets in one thread's epoll set,
// sockets closed or deleted by another socket's handler in the same wake-up.
#include "HttpTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <linux/sockios.h>
#include <memory>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace lb::net;
using lb::test::connectAndWait;
using lb::test::connectTo;
using lb::test::RawServer;
using lb::test::runUntil;

namespace {

// Sends one byte and waits until the peer's kernel has taken it, so the
// client socket is readable before the next write: the kernel then reports
// the clients in the order of these writes.
bool sendAndSettle(int fd) {
    if (::send(fd, "x", 1, MSG_NOSIGNAL) != 1)
        return false;
    for (int i = 0; i < 5000; ++i) {
        int unacked = 0;
        if (::ioctl(fd, SIOCOUTQ, &unacked) != 0)
            return false;
        if (unacked == 0)
            return true;
        ::usleep(1000);
    }
    return false;
}

// Connected clients of a listening port the test drives itself, so it
// decides exactly when and in which order each client's data arrives;
// server[i] is the accepted end of client i.
struct Clients {
    lb::test::LoopbackPort listener{true};
    std::vector<std::unique_ptr<TWSocket>> sockets;
    std::vector<int> server;

    explicit Clients(int count) {
        for (int i = 0; i < count; ++i) {
            sockets.push_back(std::make_unique<TWSocket>());
            // One connection at a time, so they are accepted in the clients' order.
            server.push_back(connectAndWait(*sockets.back(), listener.port) ? listener.accept()
                                                                            : -1);
        }
        // Let every pass of the connects end, so nothing is left over in the
        // kernel's ready list when the test's data arrives.
        runUntil([] { return false; }, 200);
    }
    ~Clients() {
        for (int fd : server)
            if (fd >= 0)
                ::close(fd);
    }
    bool ok() const { return std::find(server.begin(), server.end(), -1) == server.end(); }
    // Ends the accepted end of client i with a reset: the client sees an error.
    void reset(int i) {
        linger l{1, 0};
        ::setsockopt(server[size_t(i)], SOL_SOCKET, SO_LINGER, &l, sizeof l);
        ::close(server[size_t(i)]);
        server[size_t(i)] = -1;
    }
};

} // namespace

TEST(SocketDispatcher, SocketsClosedOrDeletedByAnEarlierHandlerOfTheSameWakeUpHearNothing) {
    Clients clients(4);
    ASSERT_TRUE(clients.ok() && clients.server.size() == 4);
    TWSocket* a = clients.sockets[0].get();
    TWSocket* b = clients.sockets[1].release(); // deleted by a's handler
    TWSocket* c = clients.sockets[2].get();
    TWSocket* d = clients.sockets[3].get();

    QStringList events;
    std::unique_ptr<TWSocket> replacement;
    bool replacementConnected = false;
    a->OnDataAvailable = [&](TWSocket* t, quint16) {
        char buf[16];
        if (t->Receive(buf, sizeof buf) <= 0)
            return;
        events << "a";
        delete b;
        b = nullptr;
        c->Close();
        // A new connection made now may get the descriptor number b or c
        // had; their events already fetched must not reach it.
        replacement = std::make_unique<TWSocket>();
        replacement->OnSessionConnected = [&](TWSocket*, quint16 e) {
            replacementConnected = e == 0;
            events << "replacement connected";
        };
        replacement->OnDataAvailable = [&](TWSocket*, quint16) { events << "replacement data"; };
        connectTo(*replacement, clients.listener.port);
    };
    b->OnDataAvailable = [&](TWSocket*, quint16) { events << "b"; };
    b->OnSessionClosed = [&](TWSocket*, quint16) { events << "b closed"; };
    c->OnDataAvailable = [&](TWSocket*, quint16) { events << "c"; };
    c->OnSessionClosed = [&](TWSocket*, quint16 e) {
        events << QStringLiteral("c closed %1").arg(e);
    };
    d->OnDataAvailable = [&](TWSocket* t, quint16) {
        char buf[16];
        if (t->Receive(buf, sizeof buf) > 0)
            events << "d";
    };

    // a's data comes first; b and c are reset (an error event, which a
    // socket that is still connecting would take for its outcome), d gets data.
    ASSERT_TRUE(sendAndSettle(clients.server[0]));
    clients.reset(1);
    clients.reset(2);
    ASSERT_TRUE(sendAndSettle(clients.server[3]));
    ASSERT_TRUE(runUntil([&] { return events.contains("d") && replacementConnected; }));
    runUntil([] { return false; }, 100);
    // The replacement's connect is told on a later wake-up, never through
    // events fetched for b or c.
    EXPECT_EQ(events.join(" | ").toStdString(), "a | c closed 0 | d | replacement connected");
    EXPECT_EQ(c->State(), wsClosed);
    EXPECT_EQ(replacement->State(), wsConnected);
    delete b;
}
