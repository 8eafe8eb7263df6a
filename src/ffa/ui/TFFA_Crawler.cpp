#include "ffa/ui/TFFA_Crawler.h"

namespace lb {

TFFA_Crawler::TFFA_Crawler(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("FFA_Crawler"));
    setWindowTitle(QStringLiteral("FFA_Crawler"));
}

} // namespace lb
