#include "net/IoBuffer.h"

#include <vector>

namespace lb::net {

namespace {

// Enough for a few hundred requests in flight; beyond that blocks go back to
// the allocator, so a burst does not stay resident.
constexpr std::size_t kKeep = 256;

// Set when the thread's pool is gone: a buffer released later on the way out
// of the thread (an object destroyed at exit) goes straight back to the heap.
thread_local bool t_poolGone = false;

struct Pool {
    std::vector<char*> free;
    ~Pool() {
        for (char* b : free)
            delete[] b;
        t_poolGone = true;
    }
};

Pool* pool() {
    if (t_poolGone)
        return nullptr;
    thread_local Pool p;
    return &p;
}

} // namespace

char* IoBuffer::take() {
    Pool* p = pool();
    if (!p || p->free.empty()) {
        block_ = new char[kSize];
    } else {
        block_ = p->free.back();
        p->free.pop_back();
    }
    return block_;
}

IoBuffer::~IoBuffer() {
    if (!block_)
        return;
    Pool* p = pool();
    if (p && p->free.size() < kKeep)
        p->free.push_back(block_);
    else
        delete[] block_;
}

} // namespace lb::net
