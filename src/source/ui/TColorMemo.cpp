#include "source/ui/TColorMemo.h"

#include <QEvent>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>

namespace lb {

namespace {
// A block whose formats match the current colours carries this state.
constexpr int kFormatted = 1;
} // namespace

TColorMemo::TColorMemo(QWidget* parent) : QPlainTextEdit(parent) {
    connect(document(), &QTextDocument::contentsChange, this, &TColorMemo::contentsChanged);
    rebuildFormats();
}

void TColorMemo::SetColorRules(const TDrawRules& rules) {
    m_rules = rules;
    m_matcher = ColourMatcher(m_rules);
    rebuildFormats();
    const QString text = document()->toPlainText();
    m_matcher.colourMap(text, m_cells);
    markDirty(0, int(m_cells.size()) + 1);
    viewport()->update();
}

QStringList TColorMemo::Lines() const {
    if (document()->isEmpty())
        return {};
    return toPlainText().split(QLatin1Char('\n'));
}

void TColorMemo::SetLines(const QStringList& lines) {
    setPlainText(lines.join(QLatin1Char('\n')));
}

std::optional<RgbColor> TColorMemo::RuleColourAt(int position) const {
    if (position < 0 || position >= int(m_cells.size()) || m_cells[size_t(position)] == 0)
        return std::nullopt;
    return m_matcher.palette()[m_cells[size_t(position)] - 1u];
}

QColor TColorMemo::PaintedColourAt(int position) const {
    const QTextBlock block = document()->findBlock(position);
    if (!block.isValid() || !block.layout())
        return QColor();
    const int offset = position - block.position();
    for (const QTextLayout::FormatRange& r : block.layout()->formats())
        if (offset >= r.start && offset < r.start + r.length)
            return r.format.foreground().color();
    return QColor();
}

QColor TColorMemo::ScreenColour(RgbColor colour) const {
    QColor c = QColor::fromRgb(QRgb(0xFF000000u | colour));
    // Keep the colour's hue but move its lightness away from the background,
    // so navy stays readable on a dark base and yellow on a white one.
    const int base = palette().color(QPalette::Base).lightness();
    int h, s, l, a;
    c.getHsl(&h, &s, &l, &a);
    constexpr int kMinDistance = 110;
    if (std::abs(l - base) >= kMinDistance)
        return c;
    l = base < 128 ? std::min(255, base + kMinDistance + 20)
                   : std::max(0, base - kMinDistance - 20);
    c.setHsl(h, s, l, a);
    return c;
}

void TColorMemo::rebuildFormats() {
    m_formats.assign(m_matcher.palette().size() + 1, QTextCharFormat());
    for (size_t i = 0; i < m_matcher.palette().size(); ++i)
        m_formats[i + 1].setForeground(ScreenColour(m_matcher.palette()[i]));
}

int TColorMemo::TakeFormattedBlockCount() {
    const int n = m_formatted;
    m_formatted = 0;
    return n;
}

void TColorMemo::contentsChanged(int position, int removed, int added) {
    if (m_applying)
        return;
    // Qt reports a whole-document change in a few cases (undo of everything,
    // a new text); the comparison below keeps the work to what changed.
    const QString text = document()->toPlainText();
    std::vector<quint16> cells;
    m_matcher.colourMap(text, cells);
    const int newSize = int(cells.size());
    const int oldSize = int(m_cells.size());
    position = std::clamp(position, 0, newSize);
    const int editEnd = std::clamp(position + added, position, newSize);

    // First and last changed colour, comparing the old colours moved by the edit.
    int first = newSize;
    const int prefix = std::min({position, oldSize, newSize});
    for (int i = 0; i < prefix; ++i)
        if (cells[size_t(i)] != m_cells[size_t(i)]) {
            first = i;
            break;
        }
    int last = -1;
    const int delta = added - removed;
    for (int i = newSize - 1; i >= editEnd; --i) {
        const int old = i - delta;
        if (old < 0 || old >= oldSize || cells[size_t(i)] != m_cells[size_t(old)]) {
            last = i;
            break;
        }
    }
    m_cells.swap(cells);
    int from = std::min(first, position);
    int to = std::max(last + 1, editEnd);
    // The edited block always gets its formats again: Qt does not move them with the text.
    markDirty(from, std::max(to, from + 1));
}

void TColorMemo::markDirty(int from, int to) {
    // Formats are applied when a block is painted, so only what is seen costs work.
    QTextDocument* doc = document();
    QTextBlock block = doc->findBlock(std::max(0, from));
    if (!block.isValid())
        block = doc->lastBlock();
    while (block.isValid() && block.position() < to) {
        block.setUserState(-1);
        block = block.next();
    }
    viewport()->update();
}

void TColorMemo::formatBlock(const QTextBlock& block) {
    QTextLayout* layout = block.layout();
    if (!layout)
        return;
    QList<QTextLayout::FormatRange> ranges;
    const int start = block.position();
    const int end = std::min(start + block.length() - 1, int(m_cells.size()));
    int i = start;
    while (i < end) {
        const quint16 slot = m_cells[size_t(i)];
        int j = i + 1;
        while (j < end && m_cells[size_t(j)] == slot)
            ++j;
        if (slot != 0 && slot < m_formats.size())
            ranges.append({i - start, j - i, m_formats[slot]});
        i = j;
    }
    QTextBlock b = block;
    b.setUserState(kFormatted);
    if (ranges.isEmpty() && layout->formats().isEmpty())
        return;
    layout->setFormats(ranges);
    m_applying = true;
    document()->markContentsDirty(start, block.length());
    m_applying = false;
    ++m_formatted;
}

void TColorMemo::formatVisibleBlocks() {
    QTextBlock block = firstVisibleBlock();
    qreal top = blockBoundingGeometry(block).translated(contentOffset()).top();
    const qreal bottom = viewport()->height();
    while (block.isValid() && top <= bottom) {
        if (block.userState() != kFormatted)
            formatBlock(block);
        top += blockBoundingRect(block).height();
        block = block.next();
    }
}

void TColorMemo::paintEvent(QPaintEvent* event) {
    formatVisibleBlocks();
    QPlainTextEdit::paintEvent(event);
}

void TColorMemo::changeEvent(QEvent* event) {
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        rebuildFormats();
        markDirty(0, int(m_cells.size()) + 1);
        viewport()->update();
    }
}

} // namespace lb
