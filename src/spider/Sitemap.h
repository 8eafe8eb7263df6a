#pragma once
// The sitemaps.org document of the pages a crawl found, for search engines.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace lb {

// Longest address a sitemap may hold; longer ones are left out.
inline constexpr int SitemapMaxUrlLength = 2048;

// UTF-8, LF after every line, one <url><loc> line per address in order, with
// & < > " ' escaped.
QByteArray sitemapDocument(const QStringList& urls);
// Written atomically, replacing an old file; throws FileError "Unable to
// write to " + path when it cannot be.
void writeSitemap(const QString& path, const QStringList& urls);

} // namespace lb
