#pragma once
// Shows a StatusMemo in a plain text view and keeps it up to date line by
// line: lines that left the top are removed, new lines appended, so only the
// lines that changed are laid out again. show() may come after every line or
// after many; the view then holds exactly the memo's lines.
#include "app/KestrelState.h"

#include <QObject>

class QPlainTextEdit;

namespace lb {

class MemoFollower {
public:
    MemoFollower(const StatusMemo& memo, QPlainTextEdit& view);

    void lineAdded() { ++m_added; }
    void cleared();
    // Brings the view up to the memo.
    void show();
    bool upToDate() const { return m_shownAdded == m_added; }

private:
    const StatusMemo& m_memo;
    QPlainTextEdit& m_view;
    QStringList m_shown;     // the memo's lines as the view shows them
    qint64 m_added = 0;      // lines added since the memo was last cleared
    qint64 m_shownAdded = 0; // ... of which the view has caught up with
};

} // namespace lb
