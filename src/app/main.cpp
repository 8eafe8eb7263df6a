#include "app/AppSetup.h"
#include "app/TKestrel.h"
#include "common/ui/QtDialogs.h"
#include "ffa/ui/TCustomQ.h"
#include "ffa/ui/TFFA_Crawler.h"
#include "meta/ui/TMeta_Creator.h"
#include "source/ui/TSource.h"
#include "update/ui/TUpdateBox.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    // Answered before Qt needs a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("linkbeacon %s\n", LB_VERSION);
            return 0;
        }
    }
    QApplication app(argc, argv);
    lb::setUpApplication();
    lb::enterProgramFolder();

    lb::QtDialogs dialogs;
    lb::TKestrel kestrel(dialogs);
    dialogs.setParent(&kestrel);
    lb::TUpdateBox updateBox;
    lb::TSource source;
    lb::TMeta_Creator meta;
    lb::TFFA_Crawler crawler;
    lb::TCustomQ options;
    kestrel.setWindows(&updateBox, &source, &meta, &crawler, &options);
    kestrel.show();
    // Closing the main window ends the program, whatever else is open.
    QObject::connect(&kestrel, &lb::TKestrel::closed, &app, &QApplication::quit);
    return app.exec();
}
