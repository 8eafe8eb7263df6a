#include "spider/Sitemap.h"

#include "common/FileError.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace lb {

QByteArray sitemapDocument(const QStringList& urls) {
    QByteArray out("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                   "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n");
    for (const QString& url : urls) {
        if (url.size() > SitemapMaxUrlLength)
            continue;
        QString escaped;
        escaped.reserve(url.size() + 16);
        for (QChar c : url) {
            switch (c.unicode()) {
            case '&':
                escaped += QStringLiteral("&amp;");
                break;
            case '<':
                escaped += QStringLiteral("&lt;");
                break;
            case '>':
                escaped += QStringLiteral("&gt;");
                break;
            case '"':
                escaped += QStringLiteral("&quot;");
                break;
            case '\'':
                escaped += QStringLiteral("&apos;");
                break;
            default:
                escaped += c;
            }
        }
        out += "<url><loc>";
        out += escaped.toUtf8();
        out += "</loc></url>\n";
    }
    out += "</urlset>\n";
    return out;
}

void writeSitemap(const QString& path, const QStringList& urls) {
    const QString folder = QFileInfo(path).absolutePath();
    QSaveFile file(path);
    const QByteArray bytes = sitemapDocument(urls);
    if (!QDir().mkpath(folder) || !file.open(QIODevice::WriteOnly) ||
        file.write(bytes) != bytes.size() || !file.commit())
        throw FileError::cannotWrite(path);
}

} // namespace lb
