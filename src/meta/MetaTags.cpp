#include "meta/MetaTags.h"

#include "common/AsciiText.h"
#include "common/LineSplitter.h"

#include <QStringDecoder>

namespace lb {

QStringList MetaChecks::names() {
    return {
        QStringLiteral("description"), QStringLiteral("keywords"),     QStringLiteral("author"),
        QStringLiteral("creator"),     QStringLiteral("robots"),       QStringLiteral("copyright"),
        QStringLiteral("publisher"),   QStringLiteral("distribution"), QStringLiteral("rating"),
        QStringLiteral("expires"),     QStringLiteral("charset"),      QStringLiteral("owner"),
        QStringLiteral("language"),    QStringLiteral("revisit")};
}

bool* MetaChecks::byName(const QString& name) {
    bool* boxes[] = {&description,  &keywords, &author,  &creator, &robots, &copyright, &publisher,
                     &distribution, &rating,   &expires, &charset, &owner,  &language,  &revisit};
    const QStringList all = names();
    const qsizetype i = all.indexOf(name);
    return i < 0 ? nullptr : boxes[i];
}

QStringList buildMetaBlock(const MetaFields& f, const MetaChecks& c) {
    QStringList out;
    auto meta = [&out](const char* name, const QString& value) {
        out << QStringLiteral("<META NAME=\"%1\" CONTENT=\"").arg(QLatin1String(name)) + value +
                   QStringLiteral("\">");
    };
    if (c.language)
        out << QStringLiteral("<HTML LANG=") + f.language + QStringLiteral(">");
    out << QStringLiteral("<HEAD>");
    out << QStringLiteral("<TITLE>") + f.title + QStringLiteral("</TITLE>");
    // The NAME tags in their fixed order.
    const struct {
        bool MetaChecks::*on;
        const char* name;
        QString MetaFields::*value;
    } named[] = {{&MetaChecks::keywords, "Keywords", &MetaFields::keywords},
                 {&MetaChecks::description, "Description", &MetaFields::description},
                 {&MetaChecks::author, "Author", &MetaFields::author},
                 {&MetaChecks::copyright, "Copyright", &MetaFields::copyright},
                 {&MetaChecks::creator, "Creator", &MetaFields::creator},
                 {&MetaChecks::publisher, "Publisher", &MetaFields::publisher},
                 {&MetaChecks::distribution, "Distribution", &MetaFields::distribution},
                 {&MetaChecks::rating, "Rating", &MetaFields::rating},
                 {&MetaChecks::robots, "Robots", &MetaFields::robots},
                 {&MetaChecks::revisit, "Revisit-After", &MetaFields::revisit}};
    for (const auto& tag : named)
        if (c.*tag.on)
            meta(tag.name, f.*tag.value);
    if (c.expires)
        out << QStringLiteral("<META HTTP-EQUIV=\"Expires\" CONTENT=\"") + f.day +
                   QStringLiteral(", ") + f.date + QLatin1Char(' ') + f.month + QLatin1Char(' ') +
                   f.year + QStringLiteral(" 01:00:00 GMT\">");
    if (c.charset)
        out << QStringLiteral("<META HTTP-EQUIV=\"Content-type\" CONTENT=\"text/html; charset=") +
                   f.charset + QStringLiteral("\">");
    if (c.owner)
        out << QStringLiteral("<LINK REV=made href=\"mailto:") + f.owner + QStringLiteral("\">");
    out << QStringLiteral("</HEAD>");
    for (const QString& line : f.comments)
        out << QStringLiteral("<!--") + line + QStringLiteral("-->");
    return out;
}

std::optional<HeadRange> findHeadRange(const QStringList& lines) {
    const QString open = QStringLiteral("<HTML");
    const QString close = QStringLiteral("</HEAD>");
    for (int i = 0; i < lines.size(); ++i) {
        const int at = int(asciiUpper(lines.at(i)).indexOf(open));
        if (at < 0)
            continue;
        // The head's end must follow the start tag, also on the same line.
        for (int j = i; j < lines.size(); ++j) {
            const int end = int(asciiUpper(lines.at(j)).indexOf(close, j == i ? at : 0));
            if (end >= 0)
                return HeadRange{i, at, j, end + int(close.size())};
        }
        return std::nullopt;
    }
    return std::nullopt;
}

QStringList injectionLines(const QStringList& block, bool languageChosen) {
    QStringList out = block;
    if (!languageChosen)
        out.prepend(QStringLiteral("<HTML>"));
    return out;
}

bool injectIntoLines(QStringList& document, const QStringList& replacement) {
    const std::optional<HeadRange> r = findHeadRange(document);
    if (!r)
        return false;
    QStringList out = document.mid(0, r->startLine);
    const QString before = document.at(r->startLine).left(r->startColumn);
    const QString after = document.at(r->endLine).mid(r->endColumn);
    // The memo's text with the range replaced, split into its lines again.
    QString middle = before + replacement.join(QStringLiteral("\r\n")) + after;
    QStringList midLines = splitLines(middle);
    if (midLines.isEmpty() || middle.endsWith(QLatin1Char('\r')) ||
        middle.endsWith(QLatin1Char('\n')))
        midLines.append(QString()); // the line that follows still starts here
    out += midLines;
    out += document.mid(r->endLine + 1);
    document = out;
    return true;
}

QStringList documentLines(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    return splitLines(text);
}

QByteArray documentBytes(const QStringList& lines) {
    QByteArray out;
    for (const QString& line : lines) {
        out += line.toUtf8();
        out += "\r\n";
    }
    return out;
}

} // namespace lb
