#pragma once
// Site names for new engines: the stem of a page's host and the numbered
// candidates stem, stem1, stem2 ... tested against the engine list, where a
// candidate counts as taken when its upper-cased form occurs anywhere in the
// upper-cased list text (all names joined by line breaks).
#include <QSet>
#include <QString>
#include <QStringList>

namespace lb {

// The host less its first four characters when it contains "www.", cut
// before its first "."; "|" and "=" never reach an engine name.
QString siteStem(const QString& host);

class SiteNameCandidates {
public:
    SiteNameCandidates(const QStringList& engineNames, const QString& stem);

    // The candidates that occur in the list, in order (stem, stem1, ...).
    QStringList taken() const;
    // The first candidate that does not occur in the list.
    QString firstFree() const;

private:
    QString m_stem;
    bool m_stemTaken = false;
    qint64 m_firstFreeNumber = 1; // stem + this is free (when the stem itself is taken)
};

} // namespace lb
