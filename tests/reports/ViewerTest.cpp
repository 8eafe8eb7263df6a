#include "reports/ui/ResultsPage.h"
#include "reports/ui/ThtmlLite.h"
#include "support/Files.h"
#include "support/ScriptedDialogs.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>

using lb::test::writeFile;
using namespace lb;

namespace {

// Renders the viewer's document the way the screen would, pictures included.
QImage render(ThtmlLite& v) {
    QImage img(200, 100, QImage::Format_RGB32);
    img.fill(Qt::white);
    v.document()->setTextWidth(200);
    QPainter p(&img);
    v.document()->drawContents(&p);
    return img;
}

bool isRed(QRgb c) {
    return qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60;
}

} // namespace

TEST(ThtmlLite, LoadsFilesAndReportsMissingOnes) {
    QTemporaryDir dir;
    writeFile(dir.path() + "/a.htm", "<p>Alpha</p>");
    ThtmlLite v;
    EXPECT_TRUE(v.LoadFromFile(dir.path() + "/a.htm"));
    EXPECT_EQ(v.CurrentFile(), dir.path() + "/a.htm");
    EXPECT_EQ(v.toPlainText(), QStringLiteral("Alpha"));
    EXPECT_FALSE(v.LoadFromFile(dir.path() + "/none.htm"));
    EXPECT_TRUE(v.toPlainText().startsWith(QStringLiteral("Cannot open file ")));
    EXPECT_TRUE(v.CurrentFile().isEmpty());
}

TEST(ThtmlLite, LinksInsideTheFolderAreFollowedUnlessHandled) {
    QTemporaryDir top;
    const QString root = top.path() + "/root";
    writeFile(root + "/help/a.htm", "<a href=\"b.htm\">b</a>");
    writeFile(root + "/help/b.htm", "<p>Bee</p>");
    writeFile(root + "/reports/r.htm", "<p>Report</p>");
    writeFile(top.path() + "/outside.htm", "<p>no</p>");
    ThtmlLite v;
    v.SetServerRoot(root);
    v.LoadFromFile(root + "/help/a.htm");

    QStringList seen;
    bool take = true;
    QObject::connect(&v, &ThtmlLite::HotSpotClick, [&](const QString& url, bool* handled) {
        seen.append(url);
        *handled = take;
    });
    v.ClickLink(QStringLiteral("b.htm"));
    EXPECT_EQ(v.CurrentFile(), root + "/help/a.htm"); // handled: stays
    take = false;
    // A real click arrives through the browser's anchor signal.
    emit v.anchorClicked(QUrl(QStringLiteral("b.htm")));
    EXPECT_EQ(seen, (QStringList{"b.htm", "b.htm"}));
    EXPECT_EQ(v.CurrentFile(), root + "/help/b.htm");

    v.ClickLink(QStringLiteral("/reports/r.htm")); // from the root
    EXPECT_EQ(v.CurrentFile(), root + "/reports/r.htm");
    v.ClickLink(QStringLiteral("..\\help\\a.htm#top")); // written the Windows way
    EXPECT_EQ(v.CurrentFile(), root + "/help/a.htm");

    // Out of the folder or off the machine: not followed.
    v.ClickLink(QStringLiteral("../../outside.htm"));
    v.ClickLink(QStringLiteral("http://example.com/"));
    EXPECT_EQ(v.CurrentFile(), root + "/help/a.htm");
    // A rooted path means the program folder's, never the system's.
    v.ClickLink(QStringLiteral("/etc/passwd"));
    EXPECT_FALSE(v.toPlainText().contains(QStringLiteral("root:")));
    EXPECT_TRUE(v.toPlainText().contains(root + "/etc/passwd"));
}

// A picture of the folder shows unless pictures are off; one outside it is never read.
TEST(ThtmlLite, PicturesShowFromTheFolderOnlyAndCanBeSwitchedOff) {
    QTemporaryDir outside;
    QTemporaryDir dir;
    QImage red(40, 40, QImage::Format_RGB32);
    red.fill(Qt::red);
    writeFile(dir.path() + "/help/p.htm", "<img src=\"pic.jpg\" width=40 height=40>");
    writeFile(dir.path() + "/help/out.htm",
              "<img src=\"" + (outside.path() + "/pic.png").toUtf8() + "\" width=40 height=40>");
    ASSERT_TRUE(red.save(dir.path() + "/help/pic.jpg", "JPG"));
    ASSERT_TRUE(red.save(outside.path() + "/pic.png", "PNG"));
    ThtmlLite v;
    v.SetServerRoot(dir.path());
    v.LoadFromFile(dir.path() + "/help/p.htm");
    EXPECT_TRUE(isRed(render(v).pixel(20, 20)));
    v.SetViewImages(false);
    EXPECT_FALSE(isRed(render(v).pixel(20, 20)));
    v.SetViewImages(true);
    v.LoadFromFile(dir.path() + "/help/out.htm");
    EXPECT_FALSE(isRed(render(v).pixel(20, 20)));
}

class ResultsPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        for (const char* n : {"a", "b", "c"})
            writeFile(dir.path() + "/reports/" + n + ".htm", QByteArray("<p>report ") + n + "</p>");
        page.setReportFolder(dir.path() + "/reports");
    }
    void click(const char* name) {
        auto* b = page.findChild<QAbstractButton*>(QString::fromLatin1(name));
        ASSERT_NE(b, nullptr) << name;
        b->click();
    }
    QString label() { return page.findChild<QLabel*>(QStringLiteral("Label20"))->text(); }

    QTemporaryDir dir;
    test::ScriptedDialogs dialogs;
    ResultsPage page{dialogs, nullptr};
};

// The page's buttons drive the browser (whose rules ReportBrowserTest owns),
// show the report, print it, and the end of a run brings up the new report.
TEST_F(ResultsPageTest, ButtonsShowAndPrintTheReportsAndARunShowsItsOwn) {
    EXPECT_FALSE(page.viewer()->ViewImages());
    EXPECT_EQ(page.viewer()->HistoryMaxCount(), 100);
    click("FarwardButton");
    click("FarwardButton");
    click("BackButton");
    EXPECT_EQ(label(), QStringLiteral("b.htm"));
    EXPECT_EQ(page.viewer()->CurrentFile(), dir.path() + "/reports/b.htm");
    EXPECT_EQ(page.viewer()->toPlainText(), QStringLiteral("report b"));

    const QString pdf = dir.path() + "/out.pdf";
    bool print = false;
    page.setPrinterChooser([&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return print;
    });
    click("PrintR"); // cancelled
    EXPECT_FALSE(QFile::exists(pdf));
    print = true;
    click("PrintR");
    EXPECT_TRUE(lb::test::readFile(pdf).startsWith("%PDF"));
    EXPECT_EQ(page.viewer()->SelLength(), 0);
    EXPECT_EQ(page.viewer()->toPlainText(), QStringLiteral("report b"));

    writeFile(dir.path() + "/reports/new.htm", "<p>fresh</p>");
    page.endOfRun(QStringLiteral("new"), true);
    EXPECT_EQ(page.viewer()->toPlainText(), QStringLiteral("fresh"));
    EXPECT_TRUE(page.browser().names().contains(QStringLiteral("new.htm")));
    page.endOfRun(QStringLiteral("a"), false); // reports off: the page stays
    EXPECT_EQ(page.viewer()->toPlainText(), QStringLiteral("fresh"));
    EXPECT_TRUE(dialogs.shown.isEmpty());
}
