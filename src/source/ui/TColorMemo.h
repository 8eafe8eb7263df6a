#pragma once
// TColorMemo: a plain-text memo that paints parts of its text in the colours
// of its rules (ColorRules). Colouring touches painting only, never the text.
//
// Keeping long texts fast: after an edit the rules are matched once over the
// text (linear), the new colours are compared with the old ones, and only
// blocks whose colours changed are re-formatted: the visible ones at once,
// the others when they scroll into view. The colours are shifted in
// lightness where needed so they stay readable on a dark palette.
#include "source/ColourMatcher.h"

#include <QColor>
#include <QPlainTextEdit>
#include <QTextCharFormat>

#include <vector>

namespace lb {

class TColorMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TColorMemo(QWidget* parent = nullptr);

    const TDrawRules& ColorRules() const { return m_rules; }
    void SetColorRules(const TDrawRules& rules);

    // The memo's lines (Lines): the text split at its line breaks.
    QStringList Lines() const;
    void SetLines(const QStringList& lines);

    // The colour the rules give the character at a position (no match: nullopt).
    std::optional<RgbColor> RuleColourAt(int position) const;
    // The colour the character at a position is painted in, as laid out now;
    // invalid when it is drawn in the memo's own text colour.
    QColor PaintedColourAt(int position) const;
    // The on-screen colour used for a rule colour on the current palette.
    QColor ScreenColour(RgbColor colour) const;

    // Blocks formatted since the last call (how much work an edit caused).
    int TakeFormattedBlockCount();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void contentsChanged(int position, int removed, int added);
    void rematchAll();
    void markDirty(int from, int to); // character range [from, to)
    void formatBlock(const QTextBlock& block);
    void formatVisibleBlocks();
    void rebuildFormats();

    TDrawRules m_rules;
    ColourMatcher m_matcher;
    std::vector<quint16> m_cells;           // colour slot per character of the document
    std::vector<QTextCharFormat> m_formats; // by slot; [0] unused
    bool m_applying = false;
    int m_formatted = 0;
};

} // namespace lb
