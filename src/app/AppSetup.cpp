#include "app/AppSetup.h"
#include "common/ProgramFolder.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

namespace lb {

void setUpApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("Linkbeacon"));
    // Lets the desktop match the window to linkbeacon.desktop and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("linkbeacon"));
}

void enterProgramFolder() {
    const FolderChoice choice = chooseProgramFolder(
        QDir::currentPath(), {}, installedTemplate(QCoreApplication::applicationDirPath()));
    // Without it the program starts where it stands and says what it misses.
    if (choice.folder.isEmpty() || !QDir::setCurrent(choice.folder))
        std::fprintf(stderr, "linkbeacon: %s\n",
                     qPrintable(choice.error.isEmpty()
                                    ? QStringLiteral("cannot enter ") + choice.folder
                                    : choice.error));
}

} // namespace lb
