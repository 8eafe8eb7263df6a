#include "meta/ui/TMeta_Creator.h"

namespace lb {

TMeta_Creator::TMeta_Creator(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Meta_Creator"));
    setWindowTitle(QStringLiteral("Meta_Creator"));
}

} // namespace lb
