#include "extractor/FormAnalyser.h"

#include "common/AsciiText.h"
#include "engines/FormNames.h"
#include "extractor/SiteName.h"
#include "net/HttpProt.h"

#include <QByteArrayView>

#include <array>
#include <iterator>
#include <vector>

namespace lb {

using R = EngineRecord;
using View = QByteArrayView;

namespace {

// The editor field each field role fills, in FieldRole's order (the
// category's only from a SELECT).
constexpr int kFieldOfRole[] = {R::UrlVar,     R::EmailVar,       R::FirstNameVar, R::CategoryVar,
                                R::TitleVar,   R::DescriptionVar, R::PhoneVar,     R::FaxVar,
                                R::CityVar,    R::Key1Var,        R::ZipVar,       R::StateVar,
                                R::CountryVar, R::Address1Var};
static_assert(std::size(kFieldOfRole) == std::size_t(FieldRole::Address) + 1);

int fieldOf(FieldRole role) {
    return kFieldOfRole[int(role)];
}

bool has(View haystack, View needle) {
    return haystack.indexOf(needle) >= 0;
}

// The value after the first occurrence of key in the tag: one leading double
// quote skipped, up to the next double quote, blank or ">". False when the
// key does not occur.
bool readAfter(View tag, View upper, View key, QByteArray& value) {
    const qsizetype at = upper.indexOf(key);
    if (at < 0)
        return false;
    qsizetype from = at + key.size();
    if (from < tag.size() && tag[from] == '"')
        ++from;
    qsizetype to = from;
    while (to < tag.size() && tag[to] != '"' && tag[to] != ' ' && tag[to] != '>')
        ++to;
    value = tag.sliced(from, to - from).toByteArray();
    // A "|" would shift the fields of the engine line.
    value.removeIf([](char c) { return c == '|'; });
    return true;
}

QString fieldText(const QByteArray& bytes) {
    return decodeText(bytes);
}

QString withoutSeparators(QString text) {
    text.removeIf([](QChar c) { return c == u'|' || c == u'\r' || c == u'\n'; });
    return text;
}

// Rows of the role table by the first character of their variable name;
// the category rows are left out (only a SELECT names the category variable).
const std::array<std::vector<int>, 256>& rowsByFirstCharacter() {
    static const std::array<std::vector<int>, 256> table = [] {
        std::array<std::vector<int>, 256> t;
        for (int row = 0; row < 32; ++row)
            if (FormFieldNames[row].role != FieldRole::Category)
                t[uchar(FormFieldNames[row].name[0])].push_back(row);
        return t;
    }();
    return table;
}

} // namespace

FormAnalyser::FormAnalyser(const FormAnalyserInput& input, EngineRecord& editor)
    : m_in(input), m_editor(editor) {
    QString user, pass, host, port;
    net::SplitUrl(input.pageUrl, m_scheme, user, pass, host, port, m_path);
    m_siteName = SiteNameCandidates(input.engineNames, siteStem(host)).firstFree();
    // Sister networks post to each other's host.
    for (const auto& [a, b] : input.hostPairs) {
        const QString www = QStringLiteral("www.");
        if (asciiEqualsIgnoreCase(host, a)) {
            host = b;
        } else if (asciiEqualsIgnoreCase(host, www + a)) {
            host = www + b;
        } else if (asciiEqualsIgnoreCase(host, b)) {
            host = a;
        } else if (asciiEqualsIgnoreCase(host, www + b)) {
            host = www + a;
        } else {
            continue;
        }
        break;
    }
    // Without the port the record would post to another server.
    m_host = port.isEmpty() ? host : host + QLatin1Char(':') + port;
}

QString FormAnalyser::resolveAction(const QString& action) const {
    const QString base = m_scheme + QStringLiteral("://") + m_host;
    if (action.startsWith(QLatin1Char('/')))
        return base + action;
    if (action.startsWith(QLatin1Char('.')))
        return base + action.mid(2);
    const qsizetype slash = m_path.lastIndexOf(QLatin1Char('/'));
    if (slash > 0)
        return base + m_path.left(slash + 1) + action;
    if (slash == 0)
        return base + m_path + QLatin1Char('/') + action;
    return action; // no path to resolve against
}

void FindUrlForms(const QByteArray& page, const FormAnalyserInput& input, EngineRecord& editor) {
    FormAnalyser analyser(input, editor);
    const QByteArray upperPage = asciiUpper(page);
    const View upper(upperPage);
    // Segments run from one "</FOR" to the next; each loses the character
    // just before the "</FOR" that ends it.
    qsizetype start = 0;
    qsizetype from = 0;
    for (;;) {
        const qsizetype cut = upper.indexOf(View("</FOR"), from);
        const qsizetype end = cut < 0 ? upper.size() : qMax(start, cut - 1);
        const View segment = upper.sliced(start, end - start);
        if (has(segment, "NAME=\"URL") || has(segment, "NAME=URL") ||
            has(segment, "NAME=\"NEWURL") || has(segment, "NAME=NEWURL"))
            analyser.AnalyseForm(page.sliced(start, end - start));
        if (cut < 0)
            break;
        start = cut;
        from = cut + 5;
    }
}

void FormAnalyser::AnalyseForm(const QByteArray& form) {
    QByteArray text = form;
    text.removeIf([](char c) { return c == '\n' || c == '\r' || c == '\0'; });
    const QByteArray upperText = asciiUpper(text);

    m_editor[R::SiteUrl] = withoutSeparators(m_in.pageUrl);
    m_editor.name = m_siteName;
    m_options.clear();

    // Tag pass: from each "<" to the next ">"; an unfinished tag ends it.
    const View all(text);
    const View upper(upperText);
    qsizetype pos = 0;
    for (;;) {
        const qsizetype open = all.indexOf('<', pos);
        if (open < 0)
            break;
        const qsizetype close = all.indexOf('>', open + 1);
        if (close < 0)
            break;
        tag(all.sliced(open, close - open + 1), upper.sliced(open, close - open + 1));
        pos = close + 1;
    }
    optionPass(text, upperText);
    chooseCategoryType();
}

void FormAnalyser::tag(QByteArrayView t, QByteArrayView u) {
    QByteArray name;
    QByteArray value;

    if (has(u, "METHOD="))
        formTag(t, u);

    if (has(u, "INPUT") && !has(u, "HIDDEN")) {
        // Which rows follow some "NAME=" (or "NAME=\""): one look per
        // occurrence at the rows that begin with the character found there.
        std::array<bool, 32> matched{};
        bool any = false;
        const View key("NAME=");
        auto look = [&](View rest) {
            if (rest.isEmpty())
                return;
            for (int row : rowsByFirstCharacter()[uchar(rest[0])]) {
                if (!matched[row] && rest.startsWith(View(FormFieldNames[row].name))) {
                    matched[row] = true;
                    any = true;
                }
            }
        };
        for (qsizetype at = u.indexOf(key); at >= 0; at = u.indexOf(key, at + 1)) {
            const View rest = u.sliced(at + key.size());
            look(rest);
            if (rest.startsWith('"'))
                look(rest.sliced(1));
        }
        if (any && !(has(u, "TYPE=\"SUBMIT") || has(u, "TYPE=SUBMIT"))) {
            readAfter(t, u, "NAME=", name);
            const QString field = fieldText(name);
            for (int row = 0; row < 32; ++row)
                if (matched[row])
                    m_editor[fieldOf(FormFieldNames[row].role)] = field;
        }
    }

    if (has(u, "TYPE=\"HIDDEN") || has(u, "TYPE=HIDDEN")) {
        if (readAfter(t, u, "NAME=", name) && readAfter(t, u, "ALUE=", value))
            m_editor[R::HiddenValues] +=
                QLatin1Char('&') + fieldText(name) + QLatin1Char('=') + fieldText(value);
    }

    if (has(u, "TEXTAREA") && readAfter(t, u, "NAME=", name)) {
        const QByteArray upperName = asciiUpper(name);
        for (const FormFieldName& row : FormFieldNames)
            if (row.role != FieldRole::Category && upperName == row.name)
                m_editor[fieldOf(row.role)] = fieldText(name);
    }

    if (has(u, "SELECT NAME=") && readAfter(t, u, "NAME=", name)) {
        const QByteArray upperName = asciiUpper(name);
        for (const FormFieldName& row : FormFieldNames)
            if (row.role == FieldRole::Category && upperName == row.name)
                m_editor[R::CategoryVar] = fieldText(name);
    }

    if (has(u, "OPTION VALUE=") && readAfter(t, u, "ALUE=", value))
        m_options.append(value);
}

void FormAnalyser::formTag(QByteArrayView tag, QByteArrayView upper) {
    QByteArray action;
    if (!readAfter(tag, upper, "ACTION=", action) || action.isEmpty())
        return;
    m_editor.setPost(has(upper, "METHOD=\"POST") || has(upper, "METHOD=POST"));
    QString cgi = fieldText(action);
    if (action.size() > 3 && !has(action, "http"))
        cgi = resolveAction(cgi);
    m_editor[R::CgiUrl] = cgi;
}

void FormAnalyser::optionPass(const QByteArray& textBytes, const QByteArray& upperBytes) {
    const View text(textBytes);
    const View upper(upperBytes);
    qsizetype pos = 0;
    for (;;) {
        const qsizetype begin = upper.indexOf(View("<SELECT"), pos);
        if (begin < 0)
            break;
        const qsizetype closeTag = upper.indexOf(View("</SELECT"), begin + 1);
        if (closeTag < 0)
            break; // an unclosed list ends the pass
        const qsizetype end = closeTag + 8;
        const View block = text.sliced(begin, end - begin);
        const View upperBlock = upper.sliced(begin, end - begin);

        // Visible texts of plain "<OPTION>" items.
        qsizetype rest = 0;
        qsizetype option = -1; // next "<OPTION>" at or after rest, found once per occurrence
        for (;;) {
            if (option < rest)
                option = upperBlock.indexOf(View("<OPTION>"), rest);
            if (option < 0)
                break;
            rest = block.indexOf('>', rest) + 1;
            qsizetype next = block.indexOf('<', rest);
            if (next < 0)
                next = block.size();
            View piece = block.sliced(rest, next - rest);
            const qsizetype nbsp = piece.indexOf(View("&nbsp;"));
            if (nbsp >= 0)
                piece = piece.first(nbsp);
            if (!piece.isEmpty() && piece != View(" ")) {
                if (piece.startsWith(' '))
                    piece = piece.sliced(1);
                m_options.append(piece.toByteArray());
            }
            if (next >= block.size())
                break;
            rest = next;
        }

        // Texts of the selected items.
        for (qsizetype at = block.indexOf(View("<OPTION SELECTED>")); at >= 0;) {
            const qsizetype from = at + 17;
            qsizetype next = block.indexOf('<', from);
            if (next < 0)
                next = block.size();
            m_options.append(block.sliced(from, next - from).toByteArray());
            at = next < block.size() ? block.indexOf(View("<OPTION SELECTED>"), next) : -1;
        }
        pos = end;
    }
}

void FormAnalyser::chooseCategoryType() {
    QByteArray joined;
    for (qsizetype i = 0; i < m_options.size(); ++i) {
        if (i)
            joined += '\n';
        joined += m_options.at(i);
    }
    const int item = categoryTypeItem(joined);
    // An item the drop-down does not have selects nothing.
    if (item >= 0)
        m_editor[R::CategoryType] = m_in.categoryTypes.value(item);
}

} // namespace lb
