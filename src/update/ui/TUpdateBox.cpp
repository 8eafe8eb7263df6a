#include "update/ui/TUpdateBox.h"

namespace lb {

TUpdateBox::TUpdateBox(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("UpdateBox"));
    setWindowTitle(QStringLiteral("UpdateBox"));
}

} // namespace lb
