#pragma once
// The socket layer's event plumbing, one of each per thread:
//
// SocketDispatcher: one epoll set behind one QSocketNotifier. Sockets register
// their descriptors in it; a wake-up costs the ready descriptors only, however
// many connections are open, and each is handled in the order the kernel
// reports it (at most kBatch per wake-up, the rest on the next one).
//
// postDeferred: "later, from the event loop" for the socket layer and the
// HTTP client. Calls posted on one thread share a single queued wake-up per
// pass and run in the order they were posted.
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <sys/epoll.h>
#include <vector>

class QSocketNotifier;

namespace lb::net {

// Told of the readiness of one registered descriptor (epoll event bits).
class ReadyHandler {
public:
    virtual void socketReady(uint32_t events) = 0;

protected:
    ~ReadyHandler() = default;
};

class SocketDispatcher : public std::enable_shared_from_this<SocketDispatcher> {
public:
    static constexpr int kBatch = 256;
    static constexpr uint32_t kNoSlot = 0xffffffffu;

    // What one socket has in the set. A registration belongs to the
    // dispatcher that made it; `dispatcher` keeps that one alive.
    struct Registration {
        std::shared_ptr<SocketDispatcher> dispatcher;
        int fd = -1;
        uint32_t slot = kNoSlot;
        uint32_t generation = 0;
        uint32_t events = 0; // EPOLLIN / EPOLLOUT now in the set
    };

    // The calling thread's dispatcher, made on first use.
    static std::shared_ptr<SocketDispatcher> forCurrentThread();

    ~SocketDispatcher();
    SocketDispatcher(const SocketDispatcher&) = delete;
    SocketDispatcher& operator=(const SocketDispatcher&) = delete;

    // Watches fd for `events` (EPOLLIN and/or EPOLLOUT) on the calling
    // thread's dispatcher; 0 takes it out of the set but keeps the slot.
    // False when the kernel refused (the errno is kept).
    static bool watch(Registration& r, int fd, uint32_t events, ReadyHandler* handler);
    // Takes the descriptor out of the set and forgets it; events of it still
    // waiting in the current batch are dropped. Call before closing fd.
    static void forget(Registration& r);

    // Shuts down the sending side of fd when asked, then closes it. Inside
    // the handling of a readiness batch this waits for the batch's end (or
    // for the thread's loop to go idle, if a handler runs a loop of its
    // own): a peer that sleeps between packets then wakes once for many
    // closes instead of once for each.
    static void closeDescriptor(int fd, bool shutdownFirst);

    // Descriptors in the set, for tests.
    int watchedCount() const { return watched_; }

    SocketDispatcher();

private:
    void detach();
    void activated();
    void runPendingCloses();
    uint32_t allocateSlot(ReadyHandler* handler);

    struct Slot {
        ReadyHandler* handler = nullptr;
        uint32_t generation = 1;
    };

    int epfd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    std::vector<Slot> slots_;
    std::vector<uint32_t> freeSlots_;
    int watched_ = 0;
    QObject* thread_ = nullptr; // the QThread it serves
    bool detached_ = false;
    // The batch being handled; a nested event loop inside a handler goes on
    // with it instead of asking the kernel again, so no event runs twice.
    epoll_event batch_[kBatch];
    int batchCount_ = 0;
    int batchNext_ = 0;
    int batchDepth_ = 0; // activated() calls running, nested ones included
    struct PendingClose {
        int fd;
        bool shutdownFirst;
    };
    std::vector<PendingClose> pendingCloses_;

    friend struct ThreadLoop;
};

// Runs fn later from the event loop of context's thread, unless context is
// gone by then. Never inside the caller.
void postDeferred(QObject* context, std::function<void()> fn);

} // namespace lb::net
