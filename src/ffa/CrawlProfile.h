#pragma once
// One crawl profile: limits, include and ignore lists and the four keyword
// lists whose combinations become search queries. The crawler asks for a
// fresh copy each time it needs a value, so edits take effect at once.
#include <QString>
#include <QStringList>

namespace lb {

struct CrawlProfile {
    QString maxKb = QStringLiteral("200");     // "Load Max Size: Kb"
    QString timeoutSec = QStringLiteral("30"); // "Time out: sec"
    QString startString = QStringLiteral("1"); // "String #"
    QStringList include = defaultInclude();    // "Extract Urls Containing"
    QStringList ignore = defaultIgnore();      // "Ignore Urls Containing"
    QStringList terms1;                        // "Boolean Keywords Main"
    QStringList terms2;                        // "And 1 Keywords"
    QStringList bonus1;                        // "And 2 Keywords"
    QStringList bonus2;                        // "And 3 Keywords"

    static QStringList defaultInclude();
    static QStringList defaultIgnore();

    // Product of the four line counts (0 when any list is empty).
    qint64 combinationCount() const;
    // The boolean query of combination k (1-based), main list outermost;
    // empty when k is outside 1..combinationCount().
    QString queryText(qint64 k) const;
};

// A limit typed as text turned into a number the way the crawler does it:
// "000" appended (seconds to milliseconds, kilobytes to bytes). False when
// the result is not a number.
bool thousandsOf(const QString& text, qint64& value);

// The message a text that is no integer raises.
QString notAnInteger(const QString& text);

} // namespace lb
