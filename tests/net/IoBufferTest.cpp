#include "net/IoBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

using lb::net::IoBuffer;

// An object released on the way out of its thread, after the thread's pool
// of buffers is gone, gives its buffer back to the heap: no use of the pool
// after its end (the sanitizer build reports one).
TEST(IoBuffer, ReleasedAfterItsThreadsPoolIsGone) {
    bool filled = false;
    std::thread([&filled] {
        struct Holder {
            IoBuffer buffer;
        };
        thread_local Holder holder; // made before the pool, so it goes after it
        char* p = holder.buffer.data();
        std::memset(p, 'x', IoBuffer::kSize);
        filled = p[IoBuffer::kSize - 1] == 'x';
        IoBuffer other; // back into the live pool, and out again for the next one
        other.data()[0] = 'y';
    }).join();
    EXPECT_TRUE(filled);
}
