#include "ffa/FfaForm.h"

#include "common/AsciiText.h"
#include "engines/FormNames.h"
#include "net/HttpProt.h"

#include <cstring>
#include <iterator>

namespace lb {

namespace {

// By field role: the view row it fills (-1: the category, selection fields
// only) and the name the crawler window shows for it.
constexpr int kRowOfRole[] = {
    FfaList::Url,     FfaList::Email,       FfaList::Name,  -1,
    FfaList::Title,   FfaList::Description, FfaList::Phone, FfaList::Fax,
    FfaList::City,    FfaList::Keyword1,    FfaList::Zip,   FfaList::State,
    FfaList::Country, FfaList::Address1};
constexpr const char* kKeyOfRole[] = {"url",         "email", "name",    "catagory", "title",
                                      "description", "phone", "fax",     "city",     "keywords",
                                      "zip",         "state", "country", "address"};
static_assert(std::size(kRowOfRole) == std::size_t(FieldRole::Address) + 1);
static_assert(std::size(kKeyOfRole) == std::size(kRowOfRole));

int rowOf(FieldRole role) {
    return kRowOfRole[int(role)];
}

QString toText(const QByteArray& bytes) {
    return decodeText(bytes);
}

// "KEY=" followed by the value, also with a double quote after the "=".
bool hasKeyValue(const QByteArray& upperTag, const char* key, const char* value) {
    const QByteArray k(key);
    return upperTag.contains(k + value) || upperTag.contains(k + '"' + value);
}

// The value after the first occurrence of key ("NAME=", "ALUE="), read from
// the tag as written. A quoted value runs to its closing quote; otherwise it
// ends at a double quote, a blank or the end of the tag.
QByteArray readAfter(const QByteArray& tag, const QByteArray& upperTag, const char* key) {
    qsizetype p = upperTag.indexOf(key);
    if (p < 0)
        return QByteArray();
    p += qsizetype(std::strlen(key));
    if (p < tag.size() && tag.at(p) == '"') {
        const qsizetype close = tag.indexOf('"', p + 1);
        if (close >= 0)
            return tag.mid(p + 1, close - p - 1);
        ++p;
    }
    qsizetype e = p;
    while (e < tag.size() && tag.at(e) != '"' && tag.at(e) != ' ' && tag.at(e) != '>')
        ++e;
    return tag.mid(p, e - p);
}

// The action: after "ACTION=", a leading quote dropped, up to a blank, quote or ">".
QByteArray readAction(const QByteArray& tag, const QByteArray& upperTag) {
    qsizetype p = upperTag.indexOf("ACTION=");
    if (p < 0)
        return QByteArray();
    p += 7;
    if (p < tag.size() && tag.at(p) == '"')
        ++p;
    qsizetype e = p;
    while (e < tag.size() && tag.at(e) != '"' && tag.at(e) != ' ' && tag.at(e) != '>')
        ++e;
    return tag.mid(p, e - p);
}

// Display texts of value-less options inside selection blocks. The next
// occurrence of each pattern is remembered, so the piece is walked once.
void collectPlainOptions(const QByteArray& piece, const QByteArray& upper, QByteArrayList& out) {
    struct Next {
        const char* pattern;
        qsizetype at = -2; // -2: not searched yet, -1: none left
        qsizetype from(const QByteArray& text, qsizetype pos) {
            if (at != -1 && at < pos)
                at = text.indexOf(pattern, pos);
            return at;
        }
    };
    Next select{"<SELECT"}, endSelect{"</SELECT"}, plain{"<OPTION>"}, selected{"<OPTION SELECTED>"};
    qsizetype pos = 0;
    for (;;) {
        const qsizetype open = select.from(upper, pos);
        if (open < 0)
            return;
        qsizetype close = endSelect.from(upper, open + 7);
        if (close < 0)
            close = upper.size();
        qsizetype p = open + 7;
        for (;;) {
            const qsizetype a = plain.from(upper, p);
            const qsizetype b = selected.from(upper, p);
            qsizetype at = -1, len = 0;
            if (a >= 0 && a < close && (b < 0 || a <= b)) {
                at = a;
                len = 8;
            } else if (b >= 0 && b < close) {
                at = b;
                len = 17;
            }
            if (at < 0)
                break;
            const qsizetype from = at + len;
            qsizetype to = piece.indexOf('<', from);
            if (to < 0)
                to = piece.size();
            QByteArray text = piece.mid(from, to - from);
            const qsizetype nbsp = text.indexOf("&nbsp;");
            if (nbsp >= 0)
                text.truncate(nbsp);
            if (!text.isEmpty() && text != " " && text != "\r" && text != "\n" && text != "\r\n") {
                if (text.startsWith(' '))
                    text.remove(0, 1);
                if (text.startsWith('\r') || text.startsWith('\n'))
                    text.remove(0, 1);
                out.append(text);
            }
            p = from;
        }
        pos = close;
        if (pos >= upper.size())
            return;
    }
}

void analysePiece(FfaList& list, QByteArray piece, const QString& pageUrl,
                  const FormProgress& progress) {
    // 1. A page already in the list is not taken again.
    const QString base = ffaBaseName(pageUrl);
    QString name = base;
    for (int n = 1; list.keyListContains(name); ++n) {
        // The record's Site_Url straight from its line: many pages of one host
        // make this loop long, and only a match needs to be shown.
        const QString line = list.lines().lineOfName(name);
        const int eq = int(line.indexOf(QLatin1Char('=')));
        const int bar = int(line.indexOf(QLatin1Char('|'), eq + 1));
        if (eq >= 0 && bar > eq && asciiEqualsIgnoreCase(line.mid(eq + 1, bar - eq - 1), pageUrl)) {
            list.selectName(name);
            return;
        }
        name = base + QString::number(n);
    }
    // 2. and 3.
    list.clearView();
    piece.replace("\n", "");
    piece.replace("\r", "");
    list.setViewValue(FfaList::SiteUrl, pageUrl);
    list.setViewValue(FfaList::SiteName, name);

    const QByteArray upper = asciiUpper(piece);
    const qsizetype length = piece.size();
    QByteArrayList options;
    // 4. The tags, in order.
    qsizetype pos = 0;
    while (pos < length) {
        const qsizetype lt = piece.indexOf('<', pos);
        if (lt < 0)
            break;
        qsizetype gt = piece.indexOf('>', lt + 1);
        if (gt < 0)
            gt = length;
        const QByteArray tag = piece.mid(lt + 1, gt - lt - 1);
        const QByteArray utag = upper.mid(lt + 1, gt - lt - 1);
        pos = gt + 1;
        if (progress)
            progress(pos < length ? pos : length, length);

        if (utag.contains("METHOD=")) {
            const QByteArray action = readAction(tag, utag);
            if (!action.isEmpty()) {
                list.setViewValue(FfaList::Method, hasKeyValue(utag, "METHOD=", "POST")
                                                       ? QStringLiteral("POST")
                                                       : QStringLiteral("GET"));
                QString cgi = toText(action);
                if (action.size() > 3 && !action.contains("http"))
                    cgi = resolveFormAction(cgi, pageUrl);
                list.setViewValue(FfaList::CgiUrl, cgi);
            }
        }
        if (utag.contains("INPUT") && !utag.contains("HIDDEN")) {
            for (const FormFieldName& f : FormFieldNames) {
                if (!hasKeyValue(utag, "NAME=", f.name))
                    continue;
                const QByteArray field = readAfter(tag, utag, "NAME=");
                if (rowOf(f.role) >= 0 && !hasKeyValue(utag, "TYPE=", "SUBMIT"))
                    list.setViewValue(rowOf(f.role), toText(field));
            }
        }
        if (hasKeyValue(utag, "TYPE=", "HIDDEN") && utag.contains("NAME=") &&
            utag.contains("ALUE=")) {
            // Appended in place: a page may hold very many hidden fields.
            list.appendViewValue(FfaList::Hidden,
                                 QLatin1Char('&') + toText(readAfter(tag, utag, "NAME=")) +
                                     QLatin1Char('=') + toText(readAfter(tag, utag, "ALUE=")));
        }
        if (utag.contains("TEXTAREA")) {
            const QByteArray field = readAfter(tag, utag, "NAME=");
            const QByteArray ufield = asciiUpper(field);
            for (const FormFieldName& f : FormFieldNames)
                if (rowOf(f.role) >= 0 && ufield == f.name)
                    list.setViewValue(rowOf(f.role), toText(field));
        }
        if (utag.contains("SELECT NAME=")) {
            const QByteArray field = readAfter(tag, utag, "NAME=");
            const QByteArray ufield = asciiUpper(field);
            for (const FormFieldName& f : FormFieldNames)
                if (f.role == FieldRole::Category && ufield == f.name)
                    list.setViewValue(FfaList::Catagory, toText(field));
        }
        if (utag.contains("OPTION VALUE="))
            options.append(readAfter(tag, utag, "ALUE="));
    }
    collectPlainOptions(piece, upper, options);

    // 5. The category set the options offer.
    const QByteArray offered = options.join("\r\n");
    const QString catagory = list.viewValue(FfaList::Catagory);
    const int item = categoryTypeItem(offered);
    if (item >= 0) {
        list.setViewValue(FfaList::CatType, QStringLiteral("Cat%1").arg(item + 1));
    } else {
        bool fixed = false;
        if (!catagory.isEmpty()) {
            for (const char* word : {"Business", "Miscellaneous", "Other"}) {
                if (offered.contains(word)) {
                    list.setViewValue(FfaList::Hidden, QLatin1Char('&') + catagory +
                                                           QLatin1Char('=') + QLatin1String(word));
                    list.setViewValue(FfaList::Catagory, QStringLiteral("default"));
                    fixed = true;
                    break;
                }
            }
        }
        if (!fixed)
            list.setViewValue(FfaList::Catagory, QString());
    }

    // 6. Store.
    if (list.viewValue(FfaList::CgiUrl).isEmpty() || list.viewValue(FfaList::Url).isEmpty() ||
        list.viewValue(FfaList::Catagory).isEmpty())
        return;
    if (list.viewValue(FfaList::Catagory) == QLatin1String("default"))
        list.setViewValue(FfaList::Catagory, QString());
    list.storeView();
}

} // namespace

QList<QPair<QString, QString>> ffaFieldNames() {
    QList<QPair<QString, QString>> out;
    for (const FormFieldName& f : FormFieldNames)
        out.append({QString::fromLatin1(f.name), QString::fromLatin1(kKeyOfRole[int(f.role)])});
    return out;
}

QString ffaBaseName(const QString& pageUrl) {
    QString proto, user, pass, host, port, path;
    net::SplitUrl(pageUrl, proto, user, pass, host, port, path);
    if (asciiUpper(host).contains(QLatin1String("WWW.")))
        host = host.mid(4);
    const int dot = host.indexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : host.left(dot);
}

QString resolveFormAction(const QString& action, const QString& pageUrl) {
    QString proto, user, pass, host, port, path;
    net::SplitUrl(pageUrl, proto, user, pass, host, port, path);
    // The form lives on the page's server, port included.
    if (!port.isEmpty())
        host += QLatin1Char(':') + port;
    const QString root = proto + QStringLiteral("://") + host;
    if (action.startsWith(QLatin1Char('/')))
        return root + action;
    if (action.startsWith(QLatin1String("..")))
        return root + action.mid(2);
    const int slash = int(path.lastIndexOf(QLatin1Char('/')));
    const QString folder = slash < 0 ? QStringLiteral("/") : path.left(slash + 1);
    return root + folder + action;
}

int analyseFfaPage(FfaList& list, const QByteArray& document, const QString& pageUrl,
                   const FormProgress& progress) {
    const int before = list.keyList().count();
    const QByteArray upper = asciiUpper(document);
    qsizetype start = 0;
    for (bool first = true;; first = false) {
        // Each later piece begins with the closing tag that ended the one before.
        qsizetype end = upper.indexOf("</FOR", first ? 0 : start + 1);
        if (end < 0)
            end = document.size();
        const QByteArray upiece = QByteArray::fromRawData(upper.constData() + start, end - start);
        if (upiece.contains("NAME=URL") || upiece.contains("NAME=\"URL") ||
            upiece.contains("NAME=NEWURL") || upiece.contains("NAME=\"NEWURL"))
            analysePiece(list, document.mid(start, end - start), pageUrl, progress);
        if (end >= document.size())
            break;
        start = end;
    }
    return list.keyList().count() - before;
}

} // namespace lb
