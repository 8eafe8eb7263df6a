// Every window stays readable on a light and on a dark system palette: each
// text field and page paints its text in a colour that stands out from the
// background it paints. With LB_SCREENSHOT_DIR set, screenshots of every
// window in both palettes are written there.
#include "common/ui/Contrast.h"
#include "ffa/ui/TCustomQ.h"
#include "ffa/ui/TFFA_Crawler.h"
#include "meta/ui/TMeta_Creator.h"
#include "source/ui/TSource.h"
#include "support/MainWindowTest.h"
#include "update/ui/TUpdateBox.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QLineEdit>
#include <QTabWidget>

using namespace lb;

namespace {

QPalette darkPalette() {
    QPalette p;
    p.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
    p.setColor(QPalette::WindowText, QColor(0xe0, 0xe0, 0xe0));
    p.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    p.setColor(QPalette::AlternateBase, QColor(0x2f, 0x2f, 0x2f));
    p.setColor(QPalette::Text, QColor(0xe6, 0xe6, 0xe6));
    p.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    p.setColor(QPalette::ButtonText, QColor(0xf0, 0xf0, 0xf0));
    p.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, QColor(0x35, 0x35, 0x35));
    p.setColor(QPalette::ToolTipText, Qt::white);
    p.setColor(QPalette::PlaceholderText, QColor(0x90, 0x90, 0x90));
    p.setColor(QPalette::Link, QColor(0x6c, 0xb4, 0xff));
    return p;
}

class PaletteTest : public lb::test::MainWindowTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        saved = QApplication::palette();
        if (GetParam())
            QApplication::setPalette(darkPalette());
        MainWindowTest::SetUp();
        pf.writeEngines("data/data.hlz", {lb::test::engineLine(QStringLiteral("Engine"))});
        lb::test::writeShopSession(pf, "title=Shop\r\n");
        pf.writeBytes(
            "reports/Shop.htm",
            "<html><body><center><b>Submission report for <font color=\"#0000FF\">Shop: </b>"
            "http://shop.example.com/</font></center><br>12:00: Engine Status: OK</body></html>");
        open().setWindows(&update, &source, &meta, &crawler, &options);
    }
    void TearDown() override {
        MainWindowTest::TearDown();
        QApplication::setPalette(saved);
    }

    // Text fields, lists and viewers: text against the background they paint.
    static void expectReadable(QWidget* top, const QString& where) {
        for (QWidget* wd : top->findChildren<QWidget*>()) {
            if (!wd->styleSheet().isEmpty())
                continue; // paints its own colours, checked by eye in the screenshots
            if (!wd->isEnabled())
                continue; // greyed out on purpose
            const bool field =
                qobject_cast<QLineEdit*>(wd) || qobject_cast<QAbstractScrollArea*>(wd);
            if (!field)
                continue;
            const QPalette p = wd->palette();
            EXPECT_GE(contrastRatio(p.color(QPalette::Base), p.color(QPalette::Text)), 4.5)
                << qPrintable(where) << " " << qPrintable(wd->objectName()) << " ("
                << wd->metaObject()->className() << ")";
        }
    }
    void shoot(QWidget* window, const QString& name) {
        const QString dir = qEnvironmentVariable("LB_SCREENSHOT_DIR");
        if (dir.isEmpty())
            return;
        QDir().mkpath(dir);
        window->grab().save(
            QStringLiteral("%1/%2-%3.png").arg(dir, name, GetParam() ? "dark" : "light"));
    }

    QPalette saved;
    TUpdateBox update;
    TSource source;
    TMeta_Creator meta;
    TFFA_Crawler crawler;
    TCustomQ options;
};

} // namespace

TEST_P(PaletteTest, EveryWindowKeepsItsTextReadable) {
    w->resize(900, 640);
    w->show();
    auto* pages = w->findChild<QTabWidget*>();
    ASSERT_NE(pages, nullptr);
    for (int i = 0; i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        QCoreApplication::processEvents();
        shoot(w.get(), QStringLiteral("main-%1").arg(i));
    }
    expectReadable(w.get(), QStringLiteral("main window"));
    for (QWidget* window :
         std::initializer_list<QWidget*>{&update, &source, &meta, &crawler, &options}) {
        window->show();
        QCoreApplication::processEvents();
        shoot(window, window->objectName().isEmpty()
                          ? QString::fromLatin1(window->metaObject()->className())
                          : window->objectName());
        expectReadable(window, window->objectName());
        window->hide();
    }
}

INSTANTIATE_TEST_SUITE_P(LightAndDark, PaletteTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Dark" : "Light"; });
