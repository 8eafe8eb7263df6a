#pragma once
// Requests held before their answer: the latency of a whole run (a fixed or
// seeded random delay before every answer, as real targets take), the count
// of requests held at once, and gates that hold requests until a given
// number wait together.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sim {

// "--latency MS" or "--latency MIN-MAX".
class Latency {
public:
    // False for anything but MS or MIN-MAX with 0 <= MIN <= MAX <= 600000.
    bool parse(const std::string& text);
    void seed(uint64_t value) { state_ = value; }
    bool active() const { return maxMs_ > 0; }
    // The delay before the next answer: fixed, or drawn evenly from the range.
    int next();

private:
    int minMs_ = 0;
    int maxMs_ = 0;
    uint64_t state_ = 1;
};

// Requests read whole and not yet answered (or dropped), counted over time.
class HeldCount {
public:
    void hold(int64_t nowMs);
    void release(int64_t nowMs);
    // {"held":N,"peak":N,"requests":N,"mean":X}: held now, the most at once,
    // all held so far, and the mean held from the first hold to now.
    std::string json(int64_t nowMs) const;

private:
    void advance(int64_t nowMs);

    int64_t held_ = 0;
    int64_t peak_ = 0;
    int64_t requests_ = 0;
    int64_t firstMs_ = -1;
    int64_t lastMs_ = 0;
    double area_ = 0; // held requests times milliseconds
};

// "/gate/N/REST": each request waits at gate N until N requests wait there
// together, then all are answered as /REST at once. A test sees from it that
// a client holds N requests at once, without timing anything.
class Gates {
public:
    using Waiter = std::pair<void*, uint64_t>; // connection and its id
    // Parses the target "/gate/N/REST" into n and rest (query kept); false
    // for any other target.
    static bool parse(const std::string& target, int& n, std::string& rest);
    // Adds w to gate n; when the gate is full, returns its waiters (and
    // empties it). `waiting` tells whether an earlier waiter still waits.
    template <class Waiting> std::vector<Waiter> arrive(int n, Waiter w, Waiting waiting) {
        std::vector<Waiter>& g = gate(n);
        std::vector<Waiter> kept;
        for (const Waiter& e : g)
            if (waiting(e))
                kept.push_back(e);
        kept.push_back(w);
        g.swap(kept);
        if (int(g.size()) < n)
            return {};
        std::vector<Waiter> out;
        out.swap(g);
        return out;
    }

private:
    std::vector<Waiter>& gate(int n);
    std::vector<std::pair<int, std::vector<Waiter>>> gates_;
};

} // namespace sim
