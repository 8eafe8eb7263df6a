#include "app/MemoFollower.h"

#include <algorithm>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace lb {

namespace {
// A line the document splits into more than one block.
bool breaksBlock(const QString& line) {
    return std::any_of(line.begin(), line.end(), [](QChar c) {
        return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::ParagraphSeparator;
    });
}
} // namespace

MemoFollower::MemoFollower(const StatusMemo& memo, QPlainTextEdit& view)
    : m_memo(memo), m_view(view) {
    // Lines are appended for as long as the program runs: no undo history.
    m_view.setUndoRedoEnabled(false);
}

void MemoFollower::cleared() {
    m_added = m_shownAdded = 0;
    m_shown.clear();
    m_view.clear();
}

void MemoFollower::show() {
    if (upToDate())
        return;
    const QStringList& lines = m_memo.lines();
    const qint64 fresh = m_added - m_shownAdded;
    const qsizetype drop = qsizetype(m_shown.size() + fresh - lines.size());
    QTextDocument* doc = m_view.document();
    if (m_shown.isEmpty() || fresh >= lines.size() || drop < 0 ||
        std::any_of(m_shown.cbegin(), m_shown.cbegin() + drop, breaksBlock)) {
        m_view.setPlainText(lines.join(QLatin1Char('\n')));
    } else {
        // Two small edits rather than one spanning the whole text: the layout
        // then redoes only the blocks each one touched. Inside an edit block
        // the cursor does not lay out its line to remember its x position.
        if (drop > 0) {
            QTextCursor top(doc);
            top.beginEditBlock();
            top.setPosition(doc->findBlockByNumber(int(drop)).position(), QTextCursor::KeepAnchor);
            top.removeSelectedText();
            top.endEditBlock();
        }
        QTextCursor end(doc);
        end.beginEditBlock();
        end.setPosition(doc->characterCount() - 1);
        for (qsizetype k = lines.size() - fresh; k < lines.size(); ++k) {
            end.insertBlock();
            end.insertText(lines.at(k));
        }
        end.endEditBlock();
    }
    m_shown = lines;
    m_shownAdded = m_added;
}

} // namespace lb
