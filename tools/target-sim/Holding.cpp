#include "Holding.h"

#include <cstdio>
#include <cstdlib>

namespace sim {

namespace {

bool number(const std::string& s, int& out) {
    if (s.empty() || s.size() > 6)
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    out = std::atoi(s.c_str());
    return true;
}

} // namespace

bool Latency::parse(const std::string& text) {
    const size_t dash = text.find('-');
    int lo = 0, hi = 0;
    if (dash == std::string::npos) {
        if (!number(text, lo))
            return false;
        hi = lo;
    } else if (!number(text.substr(0, dash), lo) || !number(text.substr(dash + 1), hi)) {
        return false;
    }
    if (lo > hi || hi > 600000)
        return false;
    minMs_ = lo;
    maxMs_ = hi;
    return true;
}

int Latency::next() {
    if (minMs_ == maxMs_)
        return minMs_;
    // splitmix64: the same seed gives the same delays on every machine.
    uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    z ^= z >> 31;
    return minMs_ + int(z % uint64_t(maxMs_ - minMs_ + 1));
}

void HeldCount::advance(int64_t nowMs) {
    if (firstMs_ >= 0)
        area_ += double(held_) * double(nowMs - lastMs_);
    lastMs_ = nowMs;
}

void HeldCount::hold(int64_t nowMs) {
    if (firstMs_ < 0) {
        firstMs_ = nowMs;
        lastMs_ = nowMs;
    }
    advance(nowMs);
    ++requests_;
    if (++held_ > peak_)
        peak_ = held_;
}

void HeldCount::release(int64_t nowMs) {
    advance(nowMs);
    --held_;
}

std::string HeldCount::json(int64_t nowMs) const {
    // While none is held the span ends at the last release, so a question
    // asked after a run does not thin the mean.
    const int64_t end = held_ > 0 ? nowMs : lastMs_;
    const double area = area_ + double(held_) * double(end - lastMs_);
    const double span = firstMs_ >= 0 ? double(end - firstMs_) : 0;
    char buf[160];
    std::snprintf(buf, sizeof buf, "{\"held\":%lld,\"peak\":%lld,\"requests\":%lld,\"mean\":%.1f}",
                  static_cast<long long>(held_), static_cast<long long>(peak_),
                  static_cast<long long>(requests_), span > 0 ? area / span : 0.0);
    return buf;
}

bool Gates::parse(const std::string& target, int& n, std::string& rest) {
    static const std::string prefix = "/gate/";
    if (target.compare(0, prefix.size(), prefix) != 0)
        return false;
    const size_t slash = target.find('/', prefix.size());
    if (slash == std::string::npos ||
        !number(target.substr(prefix.size(), slash - prefix.size()), n) || n < 1)
        return false;
    rest = target.substr(slash);
    return true;
}

std::vector<Gates::Waiter>& Gates::gate(int n) {
    for (auto& g : gates_)
        if (g.first == n)
            return g.second;
    gates_.emplace_back(n, std::vector<Waiter>());
    return gates_.back().second;
}

} // namespace sim
