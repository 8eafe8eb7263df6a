#pragma once
// robots.txt as crawlers read it today: groups of user-agent lines with their
// Allow and Disallow rules, the longest matching rule decides, "*" and "$" in
// patterns, Crawl-delay and Sitemap lines.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <optional>

namespace lb::audit {

class RobotsTxt {
public:
    // What a robots.txt that could not be read as rules means.
    static RobotsTxt allowAll();
    static RobotsTxt disallowAll();
    // Only the first 500 KiB are read, as crawlers are allowed to stop there.
    static RobotsTxt parse(QByteArrayView text);

    // pathAndQuery as sent in the request line ("/a/b?c").
    bool allowed(QByteArrayView productToken, QByteArrayView pathAndQuery) const;
    // Seconds from the group chosen for the token, when it names one.
    std::optional<double> crawlDelay(QByteArrayView productToken) const;
    // Sitemap lines in the order written, values as written.
    const QList<QByteArray>& sitemaps() const { return m_sitemaps; }

private:
    struct Rule {
        bool allow = false;
        QByteArray pattern; // percent-escapes normalised
    };
    struct Group {
        QList<QByteArray> tokens; // lower-cased; "*" for everyone
        QList<Rule> rules;
        std::optional<double> crawlDelay;
    };
    enum class Mode { Rules, AllowAll, DisallowAll };

    QList<const Group*> groupsFor(QByteArrayView token) const;

    Mode m_mode = Mode::Rules;
    QList<Group> m_groups;
    QList<QByteArray> m_sitemaps;
};

// Whether a pattern of a rule matches the start of a path (both with their
// percent-escapes normalised): "*" stands for any run of characters and a
// final "$" anchors the end.
bool robotsPatternMatches(QByteArrayView pattern, QByteArrayView path);

// Non-ASCII octets percent-escaped, the hex digits of escapes upper-cased.
QByteArray robotsNormalisePath(QByteArrayView path);

} // namespace lb::audit
