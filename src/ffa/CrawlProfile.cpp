#include "ffa/CrawlProfile.h"

namespace lb {

QStringList CrawlProfile::defaultInclude() {
    return {QStringLiteral("links.shtm"), QStringLiteral("link.shtm"), QStringLiteral("links.htm"),
            QStringLiteral("link.htm"),   QStringLiteral("ffa.htm"),   QStringLiteral("ffa.shtm")};
}

QStringList CrawlProfile::defaultIgnore() {
    // Punctuation first: it rejects every link with a query string or fragment.
    return {QStringLiteral(">"),    QStringLiteral("?"),    QStringLiteral("="),
            QStringLiteral("&"),    QStringLiteral(">"),    QStringLiteral("%"),
            QStringLiteral("#"),    QStringLiteral("+"),    QStringLiteral(".exe"),
            QStringLiteral(".gif"), QStringLiteral(".jpg"), QStringLiteral(".zip"),
            QStringLiteral(".rar"), QStringLiteral(".asp"), QStringLiteral(".cgi"),
            QStringLiteral(".pl"),  QStringLiteral(".mid"), QStringLiteral("mailto:")};
}

qint64 CrawlProfile::combinationCount() const {
    return qint64(terms1.size()) * terms2.size() * bonus1.size() * bonus2.size();
}

QString CrawlProfile::queryText(qint64 k) const {
    const qint64 n = combinationCount();
    if (k < 1 || k > n)
        return QString();
    qint64 rest = k - 1;
    const qint64 d = bonus2.size(), c = bonus1.size(), b = terms2.size();
    const qint64 in = rest % d;
    rest /= d;
    const qint64 im = rest % c;
    rest /= c;
    const qint64 ij = rest % b;
    const qint64 ii = rest / b;
    return QLatin1Char('(') + terms1.at(ii) + QStringLiteral(")+and+(") + terms2.at(ij) +
           QStringLiteral(")+and+(") + bonus1.at(im) + QStringLiteral(")+and+(") + bonus2.at(in) +
           QLatin1Char(')');
}

bool thousandsOf(const QString& text, qint64& value) {
    bool ok = false;
    value = (text + QStringLiteral("000")).toLongLong(&ok);
    if (!ok)
        value = 0;
    return ok;
}

QString notAnInteger(const QString& text) {
    return QLatin1Char('\'') + text + QStringLiteral("000' is not a valid integer value");
}

} // namespace lb
