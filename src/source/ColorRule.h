#pragma once
// The rules of the colouring memo: keywords, begin/end spans and spans from
// a token to the end of its line, each with a priority (ZOrder). A rule is
// plain data; ColourMatcher compiles a list of them and colours a text.
#include <QList>
#include <QString>
#include <QStringList>

namespace lb {

// 0xRRGGBB
using RgbColor = quint32;

namespace colours {
constexpr RgbColor Black = 0x000000, Maroon = 0x800000, Green = 0x008000, Olive = 0x808000,
                   Navy = 0x000080, Purple = 0x800080, Teal = 0x008080, Gray = 0x808080,
                   Silver = 0xC0C0C0, Red = 0xFF0000, Lime = 0x00FF00, Yellow = 0xFFFF00,
                   Blue = 0x0000FF, Fuchsia = 0xFF00FF, Aqua = 0x00FFFF, White = 0xFFFFFF;
}

// Reads an entry's colour text: one of the 16 standard names (any case,
// blanks around ignored) or a hexadecimal RRGGBB value with or without "#"
// or "$". False when the text is neither.
bool parseColour(const QString& text, RgbColor& out);
// The lower-case standard name of the colour, or "#RRGGBB".
QString colourText(RgbColor colour);

enum TKeyDrawingType { dtKeyShow, dtEventDraw, dtBeginEnd, dtBeginLineEnd };

struct TColorRule {
    quint8 ZOrder = 0;
    QString IntChar;
    QStringList Keywords;
    QStringList KeyBegEndLst;
    QStringList KeyLineEndLst;
    int KeyMaxHeight = 1;
    TKeyDrawingType KeyDrawingType = dtBeginEnd;
    bool KeyCase = false;
    bool Enabled = true;
    bool PartWord = false;
    RgbColor DefKeyColor = colours::Red;
    RgbColor KeySelColor = colours::Yellow;
};

using TDrawRules = QList<TColorRule>;

// The parsed forms of the lists, as the matcher uses them.
struct TokenEntry {
    QString begin; // at most 6 characters
    QString end;   // at most 6 characters (empty for line-end entries)
    RgbColor colour = 0;
};
struct KeywordEntry {
    QString word; // upper-cased unless the rule keeps case
    RgbColor colour = 0;
};

// A rule keeps at most this many token entries, and this many distinct keyword colours.
constexpr int kMaxTokenEntries = 40;
constexpr int kMaxKeywordColours = 40;
// Begin and end tokens are cut to this many characters.
constexpr int kMaxTokenLength = 6;

QList<TokenEntry> parseBeginEndList(const QStringList& lines, RgbColor defColour);
QList<TokenEntry> parseLineEndList(const QStringList& lines, RgbColor defColour);
QList<KeywordEntry> parseKeywordList(const QStringList& lines, bool keyCase, RgbColor defColour);

// The rules of the page-source viewer and of the META creator's two memos.
TDrawRules sourceViewerRules();
TDrawRules metaCreatorRules();

// Reads rules written as "[Rule]" lines followed by "Prop=value" lines.
// Returns false with a one-line reason when a line cannot be understood.
bool parseRulesText(const QString& text, TDrawRules& rules, QString& error);

} // namespace lb
