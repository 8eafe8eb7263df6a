#include "source/ColorRule.h"

#include "common/AsciiText.h"

namespace lb {

namespace {

struct NamedColour {
    const char* name;
    RgbColor rgb;
};

// In the order the names are looked up; the first equal colour names a value.
constexpr NamedColour kNamed[] = {
    {"BLACK", colours::Black}, {"MAROON", colours::Maroon},   {"GREEN", colours::Green},
    {"OLIVE", colours::Olive}, {"NAVY", colours::Navy},       {"PURPLE", colours::Purple},
    {"TEAL", colours::Teal},   {"GRAY", colours::Gray},       {"SILVER", colours::Silver},
    {"RED", colours::Red},     {"LIME", colours::Lime},       {"YELLOW", colours::Yellow},
    {"BLUE", colours::Blue},   {"FUCHSIA", colours::Fuchsia}, {"AQUA", colours::Aqua},
    {"WHITE", colours::White}};

// Cuts a token to its first kMaxTokenLength characters, never inside a surrogate pair.
QString cutToken(const QString& token) {
    int units = 0;
    for (int chars = 0; units < token.size() && chars < kMaxTokenLength; ++chars)
        units += (token.at(units).isHighSurrogate() && units + 1 < token.size()) ? 2 : 1;
    return token.left(units);
}

RgbColor entryColour(const QString& text, RgbColor defColour) {
    RgbColor c;
    if (text.trimmed().isEmpty() || !parseColour(text, c))
        return defColour;
    return c;
}

bool parseBool(const QString& v, bool& out) {
    const QString t = asciiLower(v.trimmed());
    if (t == QLatin1String("true") || t == QLatin1String("1")) {
        out = true;
        return true;
    }
    if (t == QLatin1String("false") || t == QLatin1String("0")) {
        out = false;
        return true;
    }
    return false;
}

} // namespace

bool parseColour(const QString& text, RgbColor& out) {
    const QString t = asciiUpper(text.trimmed());
    for (const NamedColour& n : kNamed) {
        if (t == QLatin1String(n.name)) {
            out = n.rgb;
            return true;
        }
    }
    QString hex = t;
    const int hash = hex.indexOf(QLatin1Char('#'));
    if (hash >= 0)
        hex.remove(hash, 1);
    if (hex.startsWith(QLatin1Char('$')))
        hex.remove(0, 1);
    if (hex.isEmpty() || hex.size() > 6)
        return false;
    bool ok = false;
    const uint v = hex.toUInt(&ok, 16);
    if (!ok)
        return false;
    out = v;
    return true;
}

QString colourText(RgbColor colour) {
    for (const NamedColour& n : kNamed)
        if (n.rgb == colour)
            return asciiLower(QString::fromLatin1(n.name));
    return QStringLiteral("#%1").arg(colour & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper();
}

QList<TokenEntry> parseBeginEndList(const QStringList& lines, RgbColor defColour) {
    QList<TokenEntry> out;
    for (const QString& line : lines) {
        if (out.size() >= kMaxTokenEntries)
            break;
        const int first = line.indexOf(QLatin1Char(';'));
        if (first < 1)
            continue; // no begin token
        TokenEntry e;
        e.begin = cutToken(line.left(first));
        const int second = line.indexOf(QLatin1Char(';'), first + 1);
        if (second < 0) {
            e.end = cutToken(line.mid(first + 1));
            e.colour = defColour;
        } else {
            e.end = cutToken(line.mid(first + 1, second - first - 1));
            e.colour = entryColour(line.mid(second + 1), defColour);
        }
        out.append(e);
    }
    return out;
}

QList<TokenEntry> parseLineEndList(const QStringList& lines, RgbColor defColour) {
    QList<TokenEntry> out;
    for (const QString& line : lines) {
        if (out.size() >= kMaxTokenEntries)
            break;
        TokenEntry e;
        int sep;
        if (line.startsWith(QLatin1String(";;"))) {
            e.begin = QStringLiteral(";");
            sep = 1;
        } else {
            sep = line.indexOf(QLatin1Char(';'));
            e.begin = cutToken(sep < 0 ? line : line.left(sep));
        }
        if (e.begin.isEmpty())
            continue;
        e.colour = sep < 0 ? defColour : entryColour(line.mid(sep + 1), defColour);
        out.append(e);
    }
    return out;
}

QList<KeywordEntry> parseKeywordList(const QStringList& lines, bool keyCase, RgbColor defColour) {
    QList<KeywordEntry> out;
    QList<RgbColor> distinct;
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        const int sep = line.indexOf(QLatin1Char(';'));
        QString word = (sep < 0 ? line : line.left(sep)).trimmed();
        // "*" separates keywords in the packed form, so it cannot be part of one.
        if (word.isEmpty() || word.contains(QLatin1Char('*')))
            continue;
        KeywordEntry e;
        e.word = keyCase ? word : asciiUpper(word);
        e.colour = defColour;
        RgbColor c;
        if (sep >= 0 && !line.mid(sep + 1).trimmed().isEmpty() &&
            parseColour(line.mid(sep + 1), c)) {
            // Past the table's colours a keyword keeps the rule's own colour.
            if (distinct.contains(c)) {
                e.colour = c;
            } else if (distinct.size() < kMaxKeywordColours) {
                distinct.append(c);
                e.colour = c;
            }
        }
        out.append(e);
    }
    return out;
}

TDrawRules sourceViewerRules() {
    TColorRule quotes;
    quotes.KeyBegEndLst = {QStringLiteral("\";\"")};
    quotes.DefKeyColor = colours::Green;
    quotes.ZOrder = 1;
    quotes.Enabled = false;

    TColorRule tags;
    for (const char* t :
         {"<FORM", "<form", "<SELECT", "<select", "</SELECT", "</select", "<INPUT", "<input",
          "<HIDDEN", "<hidden", "</FORM", "</form", "<TEXTAREA", "</TEXTAREA"})
        tags.KeyBegEndLst.append(QLatin1String(t) + QLatin1String(";>"));
    for (const char* t : {"<OPTION", "<option", "</option", "</OPTION"})
        tags.KeyBegEndLst.append(QLatin1String(t) + QLatin1String(";>;blue"));
    tags.KeyBegEndLst.append(QStringLiteral("<textarea>;</textarea>"));
    tags.DefKeyColor = colours::Red;

    TColorRule names;
    names.KeyDrawingType = dtKeyShow;
    names.Keywords = {QStringLiteral("name=;blue"), QStringLiteral("value=;blue"),
                      QStringLiteral("action=;blue"), QStringLiteral("method=;blue")};
    names.PartWord = true;
    names.KeyCase = false;
    return {quotes, tags, names};
}

TDrawRules metaCreatorRules() {
    TColorRule spans;
    spans.KeyBegEndLst = {QStringLiteral("<!--;-->;teal"), QStringLiteral("<META;>;purple"),
                          QStringLiteral("<meta;>;purple"), QStringLiteral("<LINK REV;>;navy"),
                          QStringLiteral("<HTML LANG;>;navy")};
    TColorRule heads;
    heads.KeyDrawingType = dtKeyShow;
    heads.Keywords = {QStringLiteral("<HEAD>"), QStringLiteral("</HEAD>"),
                      QStringLiteral("<TITLE>"), QStringLiteral("</TITLE>")};
    heads.DefKeyColor = colours::Red;
    heads.PartWord = true;
    heads.KeyCase = false;
    return {spans, heads};
}

bool parseRulesText(const QString& text, TDrawRules& rules, QString& error) {
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    int number = 0;
    for (QString line : lines) {
        ++number;
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        auto fail = [&](const QString& why) {
            error = QStringLiteral("line %1: %2").arg(number).arg(why);
            return false;
        };
        if (line == QLatin1String("[Rule]")) {
            rules.append(TColorRule());
            continue;
        }
        if (line.trimmed().isEmpty())
            continue;
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            return fail(QStringLiteral("expected [Rule] or Prop=value"));
        if (rules.isEmpty())
            return fail(QStringLiteral("property before the first [Rule]"));
        const QString prop = line.left(eq);
        const QString value = line.mid(eq + 1);
        TColorRule& r = rules.last();
        if (prop == QLatin1String("ZOrder")) {
            bool ok = false;
            const uint z = value.trimmed().toUInt(&ok);
            if (!ok || z > 255)
                return fail(QStringLiteral("ZOrder must be a number from 0 to 255"));
            r.ZOrder = quint8(z);
        } else if (prop == QLatin1String("KeyDrawingType")) {
            const QString t = value.trimmed();
            if (t == QLatin1String("dtKeyShow"))
                r.KeyDrawingType = dtKeyShow;
            else if (t == QLatin1String("dtBeginEnd"))
                r.KeyDrawingType = dtBeginEnd;
            else if (t == QLatin1String("dtBeginLineEnd"))
                r.KeyDrawingType = dtBeginLineEnd;
            else
                return fail(QStringLiteral("unknown KeyDrawingType ") + t);
        } else if (prop == QLatin1String("KeyCase") || prop == QLatin1String("Enabled") ||
                   prop == QLatin1String("PartWord")) {
            bool b;
            if (!parseBool(value, b))
                return fail(prop + QStringLiteral(" must be true or false"));
            (prop == QLatin1String("KeyCase")   ? r.KeyCase
             : prop == QLatin1String("Enabled") ? r.Enabled
                                                : r.PartWord) = b;
        } else if (prop == QLatin1String("DefKeyColor")) {
            // Read as an entry's colour is: text that names no colour leaves the default.
            RgbColor c;
            if (parseColour(value, c))
                r.DefKeyColor = c;
        } else if (prop == QLatin1String("Keywords")) {
            r.Keywords.append(value);
        } else if (prop == QLatin1String("KeyBegEndLst")) {
            r.KeyBegEndLst.append(value);
        } else if (prop == QLatin1String("KeyLineEndLst")) {
            r.KeyLineEndLst.append(value);
        } else {
            return fail(QStringLiteral("unknown property ") + prop);
        }
    }
    return true;
}

} // namespace lb
