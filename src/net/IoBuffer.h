#pragma once
// An 8 KB input/output buffer of a client, taken on first use from a pool of
// the thread and given back when the owner goes. A run makes thousands of
// short-lived clients; a fresh block of this size from the allocator for each
// one costs more than reading its answer.

namespace lb::net {

class IoBuffer {
public:
    static constexpr int kSize = 8193;

    IoBuffer() = default;
    ~IoBuffer();
    IoBuffer(const IoBuffer&) = delete;
    IoBuffer& operator=(const IoBuffer&) = delete;

    char* data() { return block_ ? block_ : take(); }

private:
    char* take();
    char* block_ = nullptr;
};

} // namespace lb::net
