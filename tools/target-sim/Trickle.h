#pragma once
// A trickled answer: a whole, valid answer sent one byte at a time with a
// pause between the bytes, as a slow or congested server would.
#include <string>

namespace sim {

struct Trickle {
    std::string data; // the answer, header and body
    int intervalMs = 10;
};

// "/trickle" or "/trickle/MS": the answer and the pause between its bytes
// (MS milliseconds, default 10, at most 1000). False for any other path.
bool trickleAnswer(const std::string& path, Trickle& out);

} // namespace sim
