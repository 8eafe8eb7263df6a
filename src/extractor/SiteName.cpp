#include "extractor/SiteName.h"

#include "common/AsciiText.h"

namespace lb {

QString siteStem(const QString& host) {
    QString stem = host.contains(QLatin1String("www.")) ? host.mid(4) : host;
    const qsizetype dot = stem.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        stem.truncate(dot);
    stem.remove(QLatin1Char('|'));
    stem.remove(QLatin1Char('='));
    return stem;
}

SiteNameCandidates::SiteNameCandidates(const QStringList& engineNames, const QString& stem)
    : m_stem(stem) {
    // An empty candidate never counts as occurring.
    if (stem.isEmpty())
        return;
    const QString text = asciiUpper(engineNames.join(QLatin1Char('\n')));
    const QString needle = asciiUpper(stem);
    // "stem" + n occurs exactly where an occurrence of the stem is followed by
    // the digits of n, so one walk over the occurrences settles every
    // candidate instead of one search of the whole list per number.
    QSet<qint64> numbers;
    for (qsizetype at = text.indexOf(needle); at >= 0; at = text.indexOf(needle, at + 1)) {
        m_stemTaken = true;
        qsizetype d = at + needle.size();
        if (d >= text.size() || text.at(d) == QLatin1Char('0'))
            continue;
        qint64 n = 0;
        for (int digits = 0;
             d < text.size() && digits < 15 && text.at(d).isDigit() && text.at(d).unicode() < 128;
             ++d, ++digits) {
            n = n * 10 + (text.at(d).unicode() - '0');
            numbers.insert(n);
        }
    }
    if (m_stemTaken)
        while (numbers.contains(m_firstFreeNumber))
            ++m_firstFreeNumber;
}

QStringList SiteNameCandidates::taken() const {
    QStringList out;
    if (!m_stemTaken)
        return out;
    out.append(m_stem);
    for (qint64 n = 1; n < m_firstFreeNumber; ++n)
        out.append(m_stem + QString::number(n));
    return out;
}

QString SiteNameCandidates::firstFree() const {
    return m_stemTaken ? m_stem + QString::number(m_firstFreeNumber) : m_stem;
}

} // namespace lb
