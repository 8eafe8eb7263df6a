// Every window stays readable on a dark system palette: each text field and
// page paints its text in a colour that stands out from the background it
// paints (on the light default, black on white is Qt's own).
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

using namespace lb;

using PaletteTest = lb::test::MainWindowTest;

TEST_F(PaletteTest, EveryWindowKeepsItsTextReadableOnADarkPalette) {
    const QPalette saved = QApplication::palette();
    // Button and window colours; Qt derives the rest (white text on black fields).
    QApplication::setPalette(QPalette(QColor(0x35, 0x35, 0x35), QColor(0x2b, 0x2b, 0x2b)));
    TUpdateBox update;
    TSource source;
    TMeta_Creator meta;
    TFFA_Crawler crawler;
    TCustomQ options;
    pf.writeEngines("data/data.hlz", {lb::test::engineLine("Engine")});
    open().setWindows(&update, &source, &meta, &crawler, &options);
    for (QWidget* window :
         std::initializer_list<QWidget*>{w.get(), &update, &source, &meta, &crawler, &options}) {
        window->show();
        QCoreApplication::processEvents();
        for (QWidget* wd : window->findChildren<QWidget*>()) {
            // Widgets with a style sheet paint their own colours; greyed-out ones are meant to be.
            if (!wd->styleSheet().isEmpty() || !wd->isEnabled() ||
                !(qobject_cast<QLineEdit*>(wd) || qobject_cast<QAbstractScrollArea*>(wd)))
                continue;
            const QPalette p = wd->palette();
            EXPECT_GE(contrastRatio(p.color(QPalette::Base), p.color(QPalette::Text)), 4.5)
                << window->metaObject()->className() << " " << qPrintable(wd->objectName());
        }
        window->hide();
    }
    w.reset();
    QApplication::setPalette(saved);
}
