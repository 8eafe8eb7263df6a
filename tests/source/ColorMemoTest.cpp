// The colouring memo as it shows on screen.
#include "source/ui/TColorMemo.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QTextBlock>
#include <QTextCursor>

using namespace lb;

namespace {

// Shows the memo and lets it paint, so the visible blocks get their colours.
void paint(TColorMemo& memo) {
    if (!memo.isVisible())
        memo.show();
    memo.grab();
    QApplication::processEvents();
    memo.grab();
}

} // namespace

TEST(ColorMemo, PaintsRuleColoursAndFollowsEdits) {
    TColorMemo memo;
    memo.resize(500, 300);
    memo.SetColorRules(metaCreatorRules());
    memo.setPlainText("<HEAD>\n<META NAME=\"a\">\ntext\n<!-- one\ntwo -->");
    paint(memo);
    EXPECT_EQ(memo.PaintedColourAt(1), memo.ScreenColour(colours::Red));    // <HEAD>
    EXPECT_EQ(memo.PaintedColourAt(8), memo.ScreenColour(colours::Purple)); // <META
    EXPECT_FALSE(memo.PaintedColourAt(23).isValid());                       // text
    // A comment over two lines is teal on both.
    EXPECT_EQ(memo.PaintedColourAt(30), memo.ScreenColour(colours::Teal));
    EXPECT_EQ(memo.PaintedColourAt(37), memo.ScreenColour(colours::Teal));
    EXPECT_EQ(memo.toPlainText(), "<HEAD>\n<META NAME=\"a\">\ntext\n<!-- one\ntwo -->");

    // Typing "<!--" in front turns what follows into a comment up to the next "-->".
    QTextCursor c(memo.document());
    c.setPosition(0);
    c.insertText("<!--");
    paint(memo);
    EXPECT_EQ(memo.RuleColourAt(2), colours::Teal);
    EXPECT_EQ(memo.PaintedColourAt(2), memo.ScreenColour(colours::Teal));
    EXPECT_EQ(memo.RuleColourAt(4), colours::Red); // the later keyword rule wins on <HEAD>
    EXPECT_EQ(memo.PaintedColourAt(27), memo.ScreenColour(colours::Teal)); // "text" line
    // Taking it out again restores the earlier colours.
    c.setPosition(0);
    c.setPosition(4, QTextCursor::KeepAnchor);
    c.removeSelectedText();
    paint(memo);
    EXPECT_EQ(memo.PaintedColourAt(1), memo.ScreenColour(colours::Red));
    EXPECT_FALSE(memo.PaintedColourAt(23).isValid());
    EXPECT_EQ(memo.Lines(),
              QStringList({"<HEAD>", "<META NAME=\"a\">", "text", "<!-- one", "two -->"}));
}

TEST(ColorMemo, ReadableOnDarkAndLightPalettes) {
    TColorMemo memo;
    memo.SetColorRules(metaCreatorRules());
    QPalette dark = memo.palette();
    dark.setColor(QPalette::Base, QColor(20, 20, 24));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    memo.setPalette(dark);
    memo.setPlainText("<LINK REV=made>");
    paint(memo);
    const QColor navy = memo.PaintedColourAt(0);
    ASSERT_TRUE(navy.isValid());
    // Still a blue, but far lighter than the background.
    EXPECT_GE(navy.lightness() - dark.color(QPalette::Base).lightness(), 100);
    EXPECT_GT(navy.blue(), navy.red());
    QPalette light = dark;
    light.setColor(QPalette::Base, Qt::white);
    memo.setPalette(light);
    paint(memo);
    EXPECT_EQ(memo.PaintedColourAt(0), QColor(0, 0, 128)); // navy as it is on white
    EXPECT_GE(255 - memo.ScreenColour(colours::Yellow).lightness(), 100);
}

TEST(ColorMemo, AnEditFarFromTheScreenFormatsOnlyWhatIsSeen) {
    TColorMemo memo;
    memo.resize(400, 200);
    memo.SetColorRules(sourceViewerRules());
    QStringList lines;
    for (int i = 0; i < 5000; ++i)
        lines << QStringLiteral("<input name=\"f%1\" value=\"v\"> plain text").arg(i);
    memo.SetLines(lines);
    paint(memo);
    const int shown = memo.TakeFormattedBlockCount();
    EXPECT_GT(shown, 0);
    EXPECT_LT(shown, 100);
    // One key pressed far down the text: the screen stays as it was.
    QTextCursor c(memo.document()->findBlockByNumber(4000));
    c.insertText("x");
    paint(memo);
    EXPECT_LE(memo.TakeFormattedBlockCount(), 1);
    // Scrolling there colours those lines when they show.
    memo.setTextCursor(c);
    memo.ensureCursorVisible();
    paint(memo);
    const int pos = memo.document()->findBlockByNumber(4000).position();
    EXPECT_EQ(memo.PaintedColourAt(pos + 1), memo.ScreenColour(colours::Red));
    EXPECT_EQ(memo.PaintedColourAt(pos + 8), memo.ScreenColour(colours::Blue)); // name=
}
