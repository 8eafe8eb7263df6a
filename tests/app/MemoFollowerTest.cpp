// The status memo's view brought up to date after every line or after many
// (as a running submission draws it): it always ends holding exactly the
// memo's lines.
#include "app/MemoFollower.h"
#include "app/KestrelState.h"

#include <gtest/gtest.h>
#include <QPlainTextEdit>

using namespace lb;

namespace {

// What a view rebuilt from the memo's lines shows.
QString rebuilt(const StatusMemo& memo) {
    QPlainTextEdit fresh;
    fresh.setPlainText(memo.lines().join('\n'));
    return fresh.toPlainText();
}

struct Followed {
    StatusMemo memo;
    QPlainTextEdit view;
    MemoFollower follower{memo, view};
    Followed() {
        QObject::connect(&memo, &StatusMemo::lineAdded, [this] { follower.lineAdded(); });
        QObject::connect(&memo, &StatusMemo::cleared, [this] { follower.cleared(); });
    }
};

} // namespace

TEST(MemoFollowerTest, ViewHoldsTheMemoLinesWhateverTheGapsBetweenShows) {
    // Gaps of 1 to 40 lines between two shows: fewer than 18 new lines
    // append to the view, 18 or more replace it; blank lines, lines of two
    // blocks and clears in between.
    Followed f;
    int mismatches = 0, shows = 0;
    unsigned seed = 7;
    int n = 0;
    for (int round = 0; round < 300; ++round) {
        seed = seed * 1103515245u + 12345u;
        const int gap = 1 + int((seed >> 16) % 40);
        for (int k = 0; k < gap; ++k, ++n) {
            if (n % 97 == 50)
                f.memo.clear();
            if (n % 31 == 4)
                f.memo.add(QString());
            else if (n % 43 == 9)
                f.memo.add(QStringLiteral("first half %1\nsecond half").arg(n));
            else
                f.memo.add(QStringLiteral("%1 Contacting: Engine %1").arg(n));
        }
        f.follower.show();
        ++shows;
        if (f.view.toPlainText() != rebuilt(f.memo))
            ++mismatches;
        EXPECT_TRUE(f.follower.upToDate());
    }
    EXPECT_EQ(mismatches, 0) << "of " << shows << " shows";
    EXPECT_EQ(f.memo.lines().size(), StatusMemo::MaxLines);
    EXPECT_FALSE(f.view.document()->isUndoAvailable());
}

TEST(MemoFollowerTest, ViewWaitsForShowAndClearEmptiesItAtOnce) {
    Followed f;
    f.memo.add("Starting Submissions");
    f.follower.show();
    f.memo.add("1 Contacting: A");
    EXPECT_FALSE(f.follower.upToDate());
    EXPECT_EQ(f.view.toPlainText(), "Starting Submissions");
    f.follower.show();
    EXPECT_EQ(f.view.toPlainText(), "Starting Submissions\n1 Contacting: A");
    f.memo.clear();
    EXPECT_EQ(f.view.toPlainText(), "");
    f.memo.add(" ");
    f.follower.show();
    EXPECT_EQ(f.view.toPlainText(), " ");
}
