#include "audit/RobotsTxt.h"

#include "common/AsciiText.h"

#include <algorithm>
#include <vector>

namespace lb::audit {

namespace {

constexpr qsizetype kMaxRobotsBytes = 500 * 1024;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

QByteArrayView trimmed(QByteArrayView v) {
    while (!v.isEmpty() && isBlank(v.front()))
        v = v.sliced(1);
    while (!v.isEmpty() && (isBlank(v.back()) || v.back() == '\r'))
        v.chop(1);
    return v;
}

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The product token of a user-agent line: "*", or the leading letters,
// underscores and hyphens ("Googlebot/2.1" names Googlebot).
QByteArray productToken(QByteArrayView value) {
    if (value.startsWith('*'))
        return QByteArrayLiteral("*");
    qsizetype n = 0;
    while (n < value.size()) {
        const char c = value.at(n);
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '-'))
            break;
        ++n;
    }
    return asciiLower(value.first(n).toByteArray());
}

} // namespace

QByteArray robotsNormalisePath(QByteArrayView path) {
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(path.size());
    for (qsizetype i = 0; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path.at(i));
        if (c == '%' && i + 2 < path.size() && isHex(path.at(i + 1)) && isHex(path.at(i + 2))) {
            out += '%';
            out += asciiUpper(path.at(i + 1));
            out += asciiUpper(path.at(i + 2));
            i += 2;
        } else if (c >= 0x80) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += char(c);
        }
    }
    return out;
}

bool robotsPatternMatches(QByteArrayView pattern, QByteArrayView path) {
    // Each character but "*" and the final "$" takes one of the path, so a
    // hostile rule longer than the path is refused before any work.
    const qsizetype literals =
        pattern.size() - pattern.count('*') - (pattern.endsWith('$') ? 1 : 0);
    if (literals > path.size())
        return false;
    // The positions in path that the pattern so far can end at, ascending.
    std::vector<qsizetype> ends{0};
    std::vector<qsizetype> next;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const char c = pattern.at(i);
        if (c == '$' && i + 1 == pattern.size())
            return ends.back() == path.size();
        if (c == '*' && i > 0 && pattern.at(i - 1) == '*')
            continue; // a run of stars ends where one does
        next.clear();
        if (c == '*') {
            for (qsizetype p = ends.front(); p <= path.size(); ++p)
                next.push_back(p);
        } else {
            for (qsizetype p : ends)
                if (p < path.size() && path.at(p) == c)
                    next.push_back(p + 1);
            if (next.empty())
                return false;
        }
        ends.swap(next);
    }
    return true;
}

RobotsTxt RobotsTxt::allowAll() {
    RobotsTxt r;
    r.m_mode = Mode::AllowAll;
    return r;
}

RobotsTxt RobotsTxt::disallowAll() {
    RobotsTxt r;
    r.m_mode = Mode::DisallowAll;
    return r;
}

RobotsTxt RobotsTxt::parse(QByteArrayView text) {
    RobotsTxt r;
    text = text.first(std::min(text.size(), kMaxRobotsBytes));
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);
    Group* current = nullptr;
    bool agentsOpen = false; // the last member line was a user-agent line
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype end = pos;
        while (end < text.size() && text.at(end) != '\n' && text.at(end) != '\r')
            ++end;
        QByteArrayView line = text.sliced(pos, end - pos);
        pos = end + 1;
        if (const qsizetype hash = line.indexOf('#'); hash >= 0)
            line = line.first(hash);
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray key = asciiLower(trimmed(line.first(colon)).toByteArray());
        const QByteArrayView value = trimmed(line.sliced(colon + 1));
        if (key == "user-agent") {
            if (!agentsOpen) {
                r.m_groups.append(Group());
                current = &r.m_groups.last();
            }
            agentsOpen = true;
            const QByteArray token = productToken(value);
            if (!token.isEmpty())
                current->tokens.append(token);
        } else if (key == "allow" || key == "disallow") {
            agentsOpen = false;
            // An empty Disallow allows everything, which is what no rule does.
            if (current && !value.isEmpty())
                current->rules.append(Rule{key == "allow", robotsNormalisePath(value)});
        } else if (key == "crawl-delay") {
            agentsOpen = false;
            bool ok = false;
            const double seconds = value.toByteArray().toDouble(&ok);
            if (current && ok && seconds >= 0 && !current->crawlDelay)
                current->crawlDelay = seconds;
        } else if (key == "sitemap") {
            if (!value.isEmpty())
                r.m_sitemaps.append(value.toByteArray());
        }
    }
    return r;
}

QList<const RobotsTxt::Group*> RobotsTxt::groupsFor(QByteArrayView token) const {
    QList<const Group*> named, everyone;
    const QByteArray lower = asciiLower(token.toByteArray());
    for (const Group& g : m_groups) {
        if (g.tokens.contains(lower))
            named.append(&g);
        else if (g.tokens.contains(QByteArrayLiteral("*")))
            everyone.append(&g);
    }
    return named.isEmpty() ? everyone : named;
}

bool RobotsTxt::allowed(QByteArrayView token, QByteArrayView pathAndQuery) const {
    if (pathAndQuery == "/robots.txt")
        return true;
    if (m_mode != Mode::Rules)
        return m_mode == Mode::AllowAll;
    const QByteArray path = robotsNormalisePath(pathAndQuery);
    qsizetype bestLength = -1;
    bool verdict = true;
    for (const Group* g : groupsFor(token)) {
        for (const Rule& rule : g->rules) {
            const qsizetype length = rule.pattern.size();
            if (length < bestLength || !robotsPatternMatches(rule.pattern, path))
                continue;
            // Of two matches of the same length the Allow wins.
            if (length > bestLength || rule.allow)
                verdict = rule.allow;
            bestLength = length;
        }
    }
    return verdict;
}

std::optional<double> RobotsTxt::crawlDelay(QByteArrayView token) const {
    if (m_mode != Mode::Rules)
        return std::nullopt;
    for (const Group* g : groupsFor(token))
        if (g->crawlDelay)
            return g->crawlDelay;
    return std::nullopt;
}

} // namespace lb::audit
