#include "app/AppSetup.h"

#include <QGuiApplication>

namespace lb {

void setUpApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("Linkbeacon"));
    // Lets the desktop match the window to linkbeacon.desktop and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("linkbeacon"));
}

} // namespace lb
