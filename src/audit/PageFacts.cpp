#include "audit/PageFacts.h"

#include "common/AsciiText.h"
#include "common/LinkScanner.h"

#include <QHash>
#include <QStringDecoder>

namespace lb::audit {

namespace {

// Windows-1252 in 0x80..0x9F, which pages labelled Latin-1 mean (0: as Latin-1).
const char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

QString decodeWindows1252(const QByteArray& bytes) {
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* d = out.data();
    for (char ch : bytes) {
        const unsigned char c = static_cast<unsigned char>(ch);
        const char16_t high = c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : 0;
        *d++ = QChar(high ? high : char16_t(c));
    }
    return out;
}

const QHash<QString, char32_t>& namedEntities() {
    static const QHash<QString, char32_t> table = [] {
        QHash<QString, char32_t> t{
            {QStringLiteral("amp"), '&'},       {QStringLiteral("lt"), '<'},
            {QStringLiteral("gt"), '>'},        {QStringLiteral("quot"), '"'},
            {QStringLiteral("apos"), '\''},     {QStringLiteral("nbsp"), 0xA0},
            {QStringLiteral("ndash"), 0x2013},  {QStringLiteral("mdash"), 0x2014},
            {QStringLiteral("lsquo"), 0x2018},  {QStringLiteral("rsquo"), 0x2019},
            {QStringLiteral("ldquo"), 0x201C},  {QStringLiteral("rdquo"), 0x201D},
            {QStringLiteral("hellip"), 0x2026}, {QStringLiteral("euro"), 0x20AC},
            {QStringLiteral("trade"), 0x2122},  {QStringLiteral("bull"), 0x2022}};
        // The Latin-1 names from U+00A1 on, in code order.
        static const char* const latin1[] = {
            "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",
            "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",
            "plusmn", "sup2",   "sup3",   "acute",  "micro",  "para",   "middot", "cedil",
            "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave",
            "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave",
            "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",
            "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",   "times",  "Oslash",
            "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",  "szlig",  "agrave",
            "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil", "egrave",
            "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",
            "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash",
            "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};
        char32_t code = 0xA1;
        for (const char* name : latin1)
            t.insert(QString::fromLatin1(name), code++);
        return t;
    }();
    return table;
}

bool isSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == QChar(0xA0);
}

} // namespace

QByteArray charsetOf(const QByteArray& contentType) {
    const QByteArray lower = asciiLower(contentType);
    const qsizetype at = lower.indexOf("charset=");
    if (at < 0)
        return {};
    QByteArray value = contentType.mid(at + 8).trimmed();
    if (value.startsWith('"') || value.startsWith('\''))
        value.remove(0, 1);
    qsizetype end = 0;
    while (end < value.size() && value.at(end) != ';' && value.at(end) != '"' &&
           value.at(end) != '\'' && value.at(end) != ' ')
        ++end;
    return asciiLower(value.first(end));
}

QString decodeCharset(const QByteArray& bytes, const QByteArray& charset) {
    const QByteArray name = asciiLower(charset.trimmed());
    if (name.isEmpty() || name == "utf-8" || name == "utf8")
        return QString::fromUtf8(bytes);
    if (name == "iso-8859-1" || name == "latin1" || name == "latin-1" || name == "us-ascii" ||
        name == "ascii" || name == "windows-1252" || name == "cp1252" || name == "iso8859-1")
        return decodeWindows1252(bytes);
    QStringDecoder decoder(name.constData());
    if (!decoder.isValid())
        return QString::fromUtf8(bytes);
    return decoder.decode(bytes);
}

QString decodeEntities(const QString& text) {
    if (!text.contains(u'&'))
        return text;
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != u'&') {
            out += c;
            continue;
        }
        qsizetype end = i + 1;
        while (end < n && end - i <= 32 &&
               (text.at(end).isLetterOrNumber() || text.at(end) == u'#'))
            ++end;
        const QString name = text.mid(i + 1, end - i - 1);
        char32_t code = 0;
        bool found = false;
        if (name.startsWith(u'#') && name.size() > 1) {
            bool ok = false;
            const bool hex = name.at(1) == u'x' || name.at(1) == u'X';
            const uint v = hex ? name.mid(2).toUInt(&ok, 16) : name.mid(1).toUInt(&ok, 10);
            if (ok) {
                found = true;
                // Null, surrogates and values past Unicode become the replacement character.
                code = (v == 0 || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) ? 0xFFFD : v;
                if (v >= 0x80 && v < 0xA0 && kCp1252High[v - 0x80])
                    code = kCp1252High[v - 0x80];
            }
        } else if (auto it = namedEntities().constFind(name); it != namedEntities().cend()) {
            found = true;
            code = it.value();
        }
        if (!found) {
            out += c;
            continue;
        }
        out += QString::fromUcs4(&code, 1);
        i = (end < n && text.at(end) == u';') ? end : end - 1;
    }
    return out;
}

QString collapseWhiteSpace(const QString& text) {
    QString out;
    out.reserve(text.size());
    bool blank = false;
    for (QChar c : text) {
        if (isSpace(c)) {
            blank = !out.isEmpty();
            continue;
        }
        if (blank)
            out += u' ';
        blank = false;
        out += c;
    }
    return out;
}

int characterCount(const QString& text) {
    int n = 0;
    for (QChar c : text)
        if (!c.isLowSurrogate())
            ++n;
    return n;
}

PageFacts readPageFacts(const QByteArray& page, const QByteArray& headerCharset) {
    struct Raw {
        bool hasTitle = false, hasDescription = false, hasCanonical = false;
        QByteArray title, description, canonical, robots, lang, base, metaCharset;
        QList<QByteArray> links;
    } raw;
    PageFacts facts;
    HtmlTagScanner scanner(page);
    HtmlTag tag;
    bool inTitle = false;
    qsizetype titleStart = 0;
    while (scanner.next(tag)) {
        const QByteArray& name = tag.name;
        if (inTitle) {
            // The title runs to its closing tag; other tags inside it are text.
            if (name != "/title")
                continue;
            raw.title = page.mid(titleStart, tag.begin - titleStart);
            inTitle = false;
            continue;
        }
        if (name == "a") {
            if (tag.has("href"))
                raw.links.append(tag.attribute("href"));
        } else if (name == "img") {
            if (!tag.has("alt"))
                ++facts.imagesWithoutAlt;
        } else if (name == "h1") {
            ++facts.h1Count;
        } else if (name == "title") {
            if (!raw.hasTitle) {
                raw.hasTitle = true;
                inTitle = true;
                titleStart = tag.end;
            }
        } else if (name == "meta") {
            const QByteArray metaName = asciiLower(tag.attribute("name").trimmed());
            if (metaName == "description" && !raw.hasDescription) {
                raw.hasDescription = true;
                raw.description = tag.attribute("content");
            } else if (metaName == "robots") {
                if (!raw.robots.isEmpty())
                    raw.robots += ", ";
                raw.robots += tag.attribute("content").trimmed();
            }
            if (raw.metaCharset.isEmpty()) {
                if (tag.has("charset"))
                    raw.metaCharset = asciiLower(tag.attribute("charset").trimmed());
                else if (asciiLower(tag.attribute("http-equiv").trimmed()) == "content-type")
                    raw.metaCharset = charsetOf(tag.attribute("content"));
            }
        } else if (name == "link") {
            const QList<QByteArray> rels = asciiLower(tag.attribute("rel")).simplified().split(' ');
            if (rels.contains("canonical") && !raw.hasCanonical && tag.has("href")) {
                raw.hasCanonical = true;
                raw.canonical = tag.attribute("href");
            }
        } else if (name == "html") {
            if (raw.lang.isEmpty())
                raw.lang = tag.attribute("lang").trimmed();
        } else if (name == "base") {
            if (raw.base.isEmpty() && tag.has("href"))
                raw.base = tag.attribute("href");
        }
    }
    if (inTitle) // a title never closed runs to the end of the page
        raw.title = page.mid(titleStart);

    const QByteArray charset = headerCharset.isEmpty() ? raw.metaCharset : headerCharset;
    auto text = [&charset](const QByteArray& bytes) {
        return collapseWhiteSpace(decodeEntities(decodeCharset(bytes, charset)));
    };
    auto value = [&charset](const QByteArray& bytes) {
        return decodeEntities(decodeCharset(bytes, charset)).trimmed();
    };
    facts.hasTitle = raw.hasTitle;
    facts.title = text(raw.title);
    facts.hasDescription = raw.hasDescription;
    facts.description = text(raw.description);
    facts.canonical = value(raw.canonical);
    facts.metaRobots = text(raw.robots);
    facts.lang = text(raw.lang);
    facts.base = value(raw.base);
    facts.links.reserve(raw.links.size());
    for (const QByteArray& link : std::as_const(raw.links))
        facts.links.append(value(link));
    return facts;
}

} // namespace lb::audit
