#include "net/SocketDispatcher.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <QThreadStorage>

#include <cerrno>
#include <deque>
#include <sys/socket.h>
#include <unistd.h>

namespace lb::net {

namespace {

// The pending calls of one thread, flushed by one queued call.
class DeferredQueue : public QObject {
public:
    void post(QObject* context, std::function<void()> fn) {
        items_.push_back(Item{QPointer<QObject>(context), std::move(fn)});
        schedule();
    }

private:
    struct Item {
        QPointer<QObject> context;
        std::function<void()> fn;
    };

    void schedule() {
        if (scheduled_)
            return;
        scheduled_ = true;
        QMetaObject::invokeMethod(
            this, [this] { flush(); }, Qt::QueuedConnection);
    }

    void flush() {
        scheduled_ = false;
        // Only what was waiting when this pass began: calls posted from here
        // on get the next pass, so a call that posts itself again cannot
        // starve the event loop.
        size_t count = items_.size();
        // With more to come, the next pass is asked for now: an event loop
        // run inside one of these calls then goes on with the rest, in order.
        if (count > 1)
            schedule();
        struct Reschedule {
            DeferredQueue* q;
            ~Reschedule() {
                if (!q->items_.empty())
                    q->schedule();
            }
        } reschedule{this};
        while (count-- > 0 && !items_.empty()) {
            Item item = std::move(items_.front());
            items_.pop_front();
            QObject* context = item.context.data();
            if (!context)
                continue;
            if (context->thread() != thread()) {
                // Moved to another thread since: it runs there.
                QMetaObject::invokeMethod(context, std::move(item.fn), Qt::QueuedConnection);
                continue;
            }
            item.fn();
        }
    }

    std::deque<Item> items_;
    bool scheduled_ = false;
};

} // namespace

// Both per-thread objects, released when the thread ends (for the main
// thread: when the application object goes).
struct ThreadLoop;

namespace {
// The thread's ThreadLoop once made: asked for several times per request,
// and Qt's thread storage is a locked lookup.
thread_local ThreadLoop* t_loop = nullptr;
} // namespace

struct ThreadLoop {
    std::shared_ptr<SocketDispatcher> sockets;
    DeferredQueue* queue = nullptr;
    ~ThreadLoop() {
        if (t_loop == this)
            t_loop = nullptr;
        if (sockets)
            sockets->detach();
        delete queue;
    }
};

namespace {

ThreadLoop* currentLoop() {
    if (t_loop)
        return t_loop;
    static QThreadStorage<ThreadLoop*> loops;
    if (!loops.hasLocalData())
        loops.setLocalData(new ThreadLoop);
    t_loop = loops.localData();
    return t_loop;
}

uint64_t keyOf(uint32_t slot, uint32_t generation) {
    return (uint64_t(generation) << 32) | slot;
}

} // namespace

SocketDispatcher::SocketDispatcher() {
    thread_ = QThread::currentThread();
    epfd_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (epfd_ < 0) {
        qWarning("socket dispatcher: epoll_create1 failed: %s", strerror(errno));
        return;
    }
    notifier_ = new QSocketNotifier(epfd_, QSocketNotifier::Read);
    QObject::connect(notifier_, &QSocketNotifier::activated, notifier_, [this] { activated(); });
    // A handler that runs a loop of its own (a dialog) must not hold back
    // the closes of its batch until it returns.
    if (auto* events = QAbstractEventDispatcher::instance())
        QObject::connect(events, &QAbstractEventDispatcher::aboutToBlock, notifier_,
                         [this] { runPendingCloses(); });
}

SocketDispatcher::~SocketDispatcher() {
    detach();
    if (epfd_ >= 0)
        ::close(epfd_);
}

void SocketDispatcher::detach() {
    runPendingCloses();
    detached_ = true;
    delete notifier_;
    notifier_ = nullptr;
}

std::shared_ptr<SocketDispatcher> SocketDispatcher::forCurrentThread() {
    ThreadLoop* loop = currentLoop();
    if (!loop->sockets)
        loop->sockets = std::make_shared<SocketDispatcher>();
    return loop->sockets;
}

uint32_t SocketDispatcher::allocateSlot(ReadyHandler* handler) {
    uint32_t slot;
    if (!freeSlots_.empty()) {
        slot = freeSlots_.back();
        freeSlots_.pop_back();
    } else {
        slot = uint32_t(slots_.size());
        slots_.push_back(Slot{});
    }
    slots_[slot].handler = handler;
    return slot;
}

bool SocketDispatcher::watch(Registration& r, int fd, uint32_t events, ReadyHandler* handler) {
    if (r.slot != kNoSlot && (r.fd != fd || r.dispatcher->detached_ ||
                              r.dispatcher->thread_ != QThread::currentThread()))
        forget(r);
    if (r.slot == kNoSlot) {
        if (events == 0)
            return true;
        auto d = forCurrentThread();
        if (d->epfd_ < 0) {
            errno = EMFILE;
            return false;
        }
        r.slot = d->allocateSlot(handler);
        r.generation = d->slots_[r.slot].generation;
        r.dispatcher = std::move(d);
        r.fd = fd;
        r.events = 0;
    }
    if (events == r.events)
        return true;
    SocketDispatcher& d = *r.dispatcher;
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = keyOf(r.slot, r.generation);
    const int op = r.events == 0 ? EPOLL_CTL_ADD : events == 0 ? EPOLL_CTL_DEL : EPOLL_CTL_MOD;
    if (::epoll_ctl(d.epfd_, op, fd, &ev) != 0)
        return false;
    if (op == EPOLL_CTL_ADD)
        ++d.watched_;
    else if (op == EPOLL_CTL_DEL)
        --d.watched_;
    r.events = events;
    return true;
}

void SocketDispatcher::forget(Registration& r) {
    if (r.slot == kNoSlot)
        return;
    SocketDispatcher& d = *r.dispatcher;
    if (r.events != 0) {
        // Taken out explicitly: a copy of the descriptor held elsewhere
        // (a child between fork and exec) would otherwise keep it in the set.
        epoll_event ev{};
        ::epoll_ctl(d.epfd_, EPOLL_CTL_DEL, r.fd, &ev);
        --d.watched_;
    }
    Slot& s = d.slots_[r.slot];
    s.handler = nullptr;
    if (++s.generation == 0)
        s.generation = 1;
    d.freeSlots_.push_back(r.slot);
    r.slot = kNoSlot;
    r.fd = -1;
    r.events = 0;
    r.dispatcher.reset();
}

namespace {

void closeNow(int fd, bool shutdownFirst) {
    if (shutdownFirst)
        ::shutdown(fd, SHUT_WR);
    ::close(fd); // on Linux the descriptor is gone even when close reports EINTR
}

} // namespace

void SocketDispatcher::closeDescriptor(int fd, bool shutdownFirst) {
    SocketDispatcher* d = t_loop ? t_loop->sockets.get() : nullptr;
    if (!d || d->batchDepth_ == 0 || d->detached_) {
        closeNow(fd, shutdownFirst);
        return;
    }
    d->pendingCloses_.push_back(PendingClose{fd, shutdownFirst});
}

void SocketDispatcher::runPendingCloses() {
    for (const PendingClose& c : pendingCloses_)
        closeNow(c.fd, c.shutdownFirst);
    pendingCloses_.clear();
}

void SocketDispatcher::activated() {
    if (detached_)
        return;
    auto self = shared_from_this(); // a handler may end the last other owner
    ++batchDepth_;
    struct EndOfBatch {
        SocketDispatcher* d;
        ~EndOfBatch() {
            --d->batchDepth_;
            d->runPendingCloses();
        }
    } endOfBatch{this};
    if (batchNext_ >= batchCount_) {
        const int n = ::epoll_wait(epfd_, batch_, kBatch, 0);
        batchNext_ = 0;
        batchCount_ = n > 0 ? n : 0;
    }
    while (batchNext_ < batchCount_) {
        const epoll_event ev = batch_[batchNext_++];
        const uint32_t slot = uint32_t(ev.data.u64);
        const uint32_t generation = uint32_t(ev.data.u64 >> 32);
        // A socket closed or deleted by an earlier handler of this batch has
        // a new generation (or none): its stale event is dropped.
        if (slot >= slots_.size() || slots_[slot].generation != generation || !slots_[slot].handler)
            continue;
        slots_[slot].handler->socketReady(ev.events);
        if (detached_)
            return;
    }
}

void postDeferred(QObject* context, std::function<void()> fn) {
    if (!context)
        return;
    if (context->thread() != QThread::currentThread()) {
        QMetaObject::invokeMethod(context, std::move(fn), Qt::QueuedConnection);
        return;
    }
    ThreadLoop* loop = currentLoop();
    if (!loop->queue)
        loop->queue = new DeferredQueue;
    loop->queue->post(context, std::move(fn));
}

} // namespace lb::net
