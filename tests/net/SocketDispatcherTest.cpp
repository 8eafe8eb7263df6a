// The socket layer's shared plumbing: many sockets in one thread's epoll set,
// sockets closed or deleted by another socket's handler in the same wake-up,
// the deferred calls that share one queued wake-up, and sockets on a second
// thread.
#include "net/SocketDispatcher.h"
#include "HttpTestUtil.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QEventLoop>
#include <QSemaphore>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <linux/sockios.h>
#include <memory>
#include <mutex>
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

// A listening port driven by the test itself, so it decides exactly when
// and in which order each client's data arrives.
class Listener {
public:
    ~Listener() {
        for (int fd : accepted_)
            ::close(fd);
    }
    quint16 port() const { return port_.port; }

    // The next connection and the one byte its client sent first (-1 on time-out).
    std::pair<int, int> acceptWithId() {
        const int fd = port_.accept();
        if (fd < 0)
            return {-1, -1};
        accepted_.push_back(fd);
        unsigned char id = 0;
        if (!lb::test::readable(fd, 10000) || ::recv(fd, &id, 1, 0) != 1)
            return {fd, -1};
        return {fd, int(id)};
    }

    // Ends an accepted connection with a reset: the client sees an error.
    void reset(int fd) {
        linger l{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        ::close(fd);
        accepted_.erase(std::remove(accepted_.begin(), accepted_.end(), fd), accepted_.end());
    }

private:
    lb::test::LoopbackPort port_{true};
    std::vector<int> accepted_;
};

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

// kCount clients of one listener, each sending its index as its first byte;
// server[i] is the accepted end of client i.
struct Clients {
    std::vector<std::unique_ptr<TWSocket>> sockets;
    std::vector<int> server;
    bool ok = false;

    Clients(Listener& listener, int count) : server(size_t(count), -1) {
        int connected = 0;
        for (int i = 0; i < count; ++i) {
            auto s = std::make_unique<TWSocket>();
            s->OnSessionConnected = [&connected, i](TWSocket* t, quint16 e) {
                if (e != 0)
                    return;
                ++connected;
                const char id = char(i);
                t->Send(&id, 1);
            };
            connectTo(*s, listener.port());
            sockets.push_back(std::move(s));
        }
        if (!runUntil([&] { return connected == count; }))
            return;
        for (int k = 0; k < count; ++k) {
            const auto [fd, id] = listener.acceptWithId();
            if (fd < 0 || id < 0 || id >= count)
                return;
            server[size_t(id)] = fd;
        }
        // Let every pass of the connects end, so nothing is left over in the
        // kernel's ready list when the test's data arrives.
        runUntil([] { return false; }, 200);
        for (auto& s : sockets)
            s->OnSessionConnected = nullptr;
        ok = true;
    }
};

} // namespace

TEST(SocketDispatcher, SocketsClosedOrDeletedByAnEarlierHandlerOfTheSameWakeUpHearNothing) {
    Listener listener;
    Clients clients(listener, 4);
    ASSERT_TRUE(clients.ok);
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
        connectTo(*replacement, listener.port());
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
    listener.reset(clients.server[1]);
    listener.reset(clients.server[2]);
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

TEST(SocketDispatcher, DeferredCallsRunOnceEachInOrderAndNeverInsideThePost) {
    auto first = std::make_unique<QObject>();
    auto gone = std::make_unique<QObject>();
    auto last = std::make_unique<QObject>();
    std::vector<int> ran;
    bool posting = true;
    bool ranWhilePosting = false;
    size_t ranByNestedPass = 0;
    std::vector<int> expected;
    for (int i = 0; i < 300; ++i) {
        QObject* context = i % 3 == 0 ? first.get() : i % 3 == 1 ? gone.get() : last.get();
        postDeferred(context, [&, i] {
            ranWhilePosting = ranWhilePosting || posting;
            ran.push_back(i);
            if (i == 30) // posted now: after everything posted before it
                postDeferred(last.get(), [&] { ran.push_back(1000); });
            if (i == 60) { // a nested pass goes on with the same queue, in order
                QCoreApplication::processEvents();
                ranByNestedPass = ran.size();
            }
        });
        if (i % 3 != 1)
            expected.push_back(i);
    }
    expected.push_back(1000);
    gone.reset(); // its calls are dropped
    posting = false;
    EXPECT_TRUE(ran.empty());
    ASSERT_TRUE(runUntil([&] { return ran.size() >= expected.size(); }));
    runUntil([] { return false; }, 50);
    EXPECT_FALSE(ranWhilePosting);
    EXPECT_EQ(ran, expected);
    EXPECT_EQ(ranByNestedPass, expected.size());
}

// A client on a second thread has its own dispatcher there.
TEST(SocketThreads, SynchronousGetWorksOnASecondThreadWhileTheMainThreadRunsItsOwn) {
    lb::test::TargetSim sim;
    ASSERT_TRUE(sim.ok());
    int workerStatus = 0;
    QString workerBody;
    QThread* thread = QThread::create([&] {
        TSTHttpCli c;
        c.URL = sim.url("/status/201/Made");
        try {
            c.Get();
        } catch (...) {
        }
        workerStatus = c.StatusCode();
    });
    thread->start();
    // Meanwhile an asynchronous request on this thread.
    TSTHttpCli mine;
    mine.URL = sim.url("/status/202/Taken");
    bool mineDone = false;
    mine.OnRequestDone = [&](THttpCli*, THttpRequest, quint16) { mineDone = true; };
    mine.GetAsync();
    EXPECT_TRUE(runUntil([&] { return mineDone; }, 20000));
    ASSERT_TRUE(thread->wait(QDeadlineTimer(30000)));
    delete thread;
    EXPECT_EQ(mine.StatusCode(), 202);
    EXPECT_EQ(workerStatus, 201);
}
