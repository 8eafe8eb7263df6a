#pragma once
// Hostile and broken answers, for showing that a client stays bounded and
// honest: a header or a page without end, a body cut short of its length, a
// redirection to another server.
#include <string>

namespace sim {

struct HostileAnswer {
    std::string head;   // sent first
    std::string repeat; // then sent again and again until the client goes
};

// "/hostile/..." paths (see target-sim --help). False for any other path.
bool hostileAnswer(const std::string& path, HostileAnswer& out);

} // namespace sim
