#pragma once
// What the site audit reads from one HTML page: its texts decoded by the
// page's charset, its headings, images and the links it gives.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace lb::audit {

struct PageFacts {
    bool hasTitle = false;
    QString title; // decoded, entities resolved, white space collapsed
    bool hasDescription = false;
    QString description;
    int h1Count = 0;
    QString canonical; // as written, entities resolved
    QString metaRobots;
    QString lang;
    int imagesWithoutAlt = 0;
    QString base;      // <base href>, entities resolved
    QStringList links; // <a href> values in page order, entities resolved
};

// charset: from the Content-Type header, empty when it names none.
PageFacts readPageFacts(const QByteArray& page, const QByteArray& headerCharset);

// The charset parameter of a Content-Type value ("text/html; charset=UTF-8").
QByteArray charsetOf(const QByteArray& contentType);
// Text in the named charset; UTF-8 when it is empty or unknown.
QString decodeCharset(const QByteArray& bytes, const QByteArray& charset);
// Character references resolved (the named ones of Latin-1 and a few more).
QString decodeEntities(const QString& text);
// Runs of white space to one blank, none at either end.
QString collapseWhiteSpace(const QString& text);
// Length in characters (a pair of surrogates is one).
int characterCount(const QString& text);

} // namespace lb::audit
