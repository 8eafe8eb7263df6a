#include "ffa/CrawlerOptions.h"

#include "common/LineSplitter.h"

namespace lb {

namespace {

QString crlfJoined(std::initializer_list<const char*> lines) {
    QStringList l;
    for (const char* s : lines)
        l.append(QString::fromLatin1(s));
    return l.join(QStringLiteral("\r\n"));
}

} // namespace

const QList<OptionControlInfo>& optionControls() {
    static const QList<OptionControlInfo> controls = {
        {QStringLiteral("Ckb"), QStringLiteral("TEdit"), false, QStringLiteral("200")},
        {QStringLiteral("Csec"), QStringLiteral("TEdit"), false, QStringLiteral("30")},
        {QStringLiteral("Memo3"), QStringLiteral("TMemo"), true,
         crlfJoined({"links.shtm", "link.shtm", "links.htm", "link.htm", "ffa.htm", "ffa.shtm"})},
        // The punctuation entries reject every link with a query or a fragment.
        {QStringLiteral("Memo1"), QStringLiteral("TMemo"), true,
         crlfJoined({">", "?", "=", "&", ">", "%", "#", "+", ".exe", ".gif", ".jpg", ".zip", ".rar",
                     ".asp", ".cgi", ".pl", ".mid", "mailto:"})},
        {QStringLiteral("Cstring"), QStringLiteral("TEdit"), false, QStringLiteral("1")},
        {QStringLiteral("Terms1"), QStringLiteral("TMemo"), true, QString()},
        {QStringLiteral("Terms2"), QStringLiteral("TMemo"), true, QString()},
        {QStringLiteral("Bonus1"), QStringLiteral("TMemo"), true, QString()},
        {QStringLiteral("Bonus2"), QStringLiteral("TMemo"), true, QString()},
    };
    return controls;
}

const OptionControlInfo& optionControl(OptionControl c) {
    return optionControls().at(int(c));
}

QStringList memoLines(const QString& text) {
    return splitLines(text);
}

int memoLineCount(const QString& text) {
    return int(memoLines(text).size());
}

quint64 combinationCount(const QString& terms1, const QString& terms2, const QString& bonus1,
                         const QString& bonus2) {
    quint64 n = 1;
    for (const QString* t : {&terms1, &terms2, &bonus1, &bonus2}) {
        quint64 next = 0;
        if (__builtin_mul_overflow(n, quint64(memoLineCount(*t)), &next))
            next = ~quint64(0); // far beyond any crawl; keeps the product from wrapping
        n = next;
    }
    return n;
}

QStringList CrawlerOptions::keywordList(int list) const {
    static const OptionControl lists[4] = {OptionControl::Terms1, OptionControl::Terms2,
                                           OptionControl::Bonus1, OptionControl::Bonus2};
    if (list < 0 || list > 3)
        return {};
    return memoLines(optionText(lists[list]));
}

quint64 CrawlerOptions::combinationCount() const {
    return lb::combinationCount(
        optionText(OptionControl::Terms1), optionText(OptionControl::Terms2),
        optionText(OptionControl::Bonus1), optionText(OptionControl::Bonus2));
}

CrawlerOptionValues::CrawlerOptionValues() {
    for (const OptionControlInfo& c : optionControls())
        m_texts.append(c.defaultText);
}

} // namespace lb
