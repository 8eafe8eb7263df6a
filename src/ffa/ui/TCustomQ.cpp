#include "ffa/ui/TCustomQ.h"

namespace lb {

TCustomQ::TCustomQ(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("CustomQ"));
    setWindowTitle(QStringLiteral("CustomQ"));
}

} // namespace lb
