// robots.txt on any text, and the rule matcher on any pattern and path.
// The matcher must agree with a plain backtracking reading of "*" and a
// final "$"; a file's verdicts must never touch /robots.txt itself, and a
// crawl delay is never negative.
//
// Input: byte 0 chooses the mode (even: the matcher, odd: a whole file).
// Matcher: pattern and path split at the first NUL. File: the path to ask
// about after the first NUL, the file before it.
#include "FuzzCheck.h"

#include "audit/RobotsTxt.h"

#include <QByteArray>

#include <cstdint>
#include <vector>

namespace {

// Whether pattern[i..] matches a prefix of path[p..]; memo holds 0 unknown,
// 1 no, 2 yes.
bool plainMatch(QByteArrayView pattern, QByteArrayView path, qsizetype i, qsizetype p,
                std::vector<char>& memo) {
    char& seen = memo[size_t(i * (path.size() + 1) + p)];
    if (seen)
        return seen == 2;
    bool result;
    if (i == pattern.size())
        result = true;
    else if (pattern.at(i) == '$' && i + 1 == pattern.size())
        result = p == path.size();
    else if (pattern.at(i) == '*')
        result = plainMatch(pattern, path, i + 1, p, memo) ||
                 (p < path.size() && plainMatch(pattern, path, i, p + 1, memo));
    else
        result = p < path.size() && path.at(p) == pattern.at(i) &&
                 plainMatch(pattern, path, i + 1, p + 1, memo);
    seen = result ? 2 : 1;
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const QByteArrayView rest(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const qsizetype nul = rest.indexOf('\0');
    const QByteArrayView first = nul < 0 ? rest : rest.first(nul);
    const QByteArrayView second = nul < 0 ? QByteArrayView() : rest.sliced(nul + 1);

    if ((data[0] & 1) == 0) {
        if (first.size() > 512 || second.size() > 512)
            return 0; // the memo grows with both
        std::vector<char> memo(size_t((first.size() + 1) * (second.size() + 1)), 0);
        FUZZ_CHECK(lb::audit::robotsPatternMatches(first, second) ==
                   plainMatch(first, second, 0, 0, memo));
        const QByteArray once = lb::audit::robotsNormalisePath(first);
        FUZZ_CHECK(lb::audit::robotsNormalisePath(once) == once);
        return 0;
    }

    const auto robots = lb::audit::RobotsTxt::parse(first);
    for (const char* agent : {"Linkbeacon", "*", "googlebot"}) {
        FUZZ_CHECK(robots.allowed(agent, "/robots.txt"));
        (void)robots.allowed(agent, second);
        if (const auto delay = robots.crawlDelay(agent))
            FUZZ_CHECK(*delay >= 0);
    }
    for (const QByteArray& sitemap : robots.sitemaps())
        FUZZ_CHECK(!sitemap.isEmpty() && first.contains(sitemap));
    return 0;
}
