#include "source/ui/TSource.h"

namespace lb {

TSource::TSource(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Source"));
    setWindowTitle(QStringLiteral("Source"));
}

} // namespace lb
