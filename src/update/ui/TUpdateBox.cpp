#include "update/ui/TUpdateBox.h"

#include "update/Updater.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <climits>

namespace lb {

TUpdateBox::TUpdateBox(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("UpdateBox"));
    setWindowTitle(QStringLiteral("UpdateBox"));
    auto* layout = new QVBoxLayout(this);
    m_info = new QLabel(QStringLiteral("Status:"), this);
    m_info->setObjectName(QStringLiteral("InfoLabel"));
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("UpdateBar1"));
    m_bar->setRange(0, 100);
    m_bar->hide();
    m_abort = new QPushButton(QStringLiteral("Cancel"), this);
    m_abort->setObjectName(QStringLiteral("UpdateAbort"));
    layout->addWidget(m_info);
    layout->addWidget(m_bar);
    layout->addWidget(m_abort, 0, Qt::AlignRight);
    resize(320, 110);
    connect(m_abort, &QPushButton::clicked, this, [this] {
        if (m_updater)
            m_updater->UpdateAbortClick();
    });
}

void TUpdateBox::bind(Updater* updater) {
    m_updater = updater;
    connect(updater, &Updater::changed, this, &TUpdateBox::sync);
    sync();
}

void TUpdateBox::sync() {
    if (!m_updater)
        return;
    const Updater& u = *m_updater;
    m_info->setText(u.status());
    m_abort->setEnabled(u.cancelEnabled());
    // Sizes beyond the bar's int range are scaled down alike.
    qint64 max = u.progressMaximum(), pos = u.progressPosition();
    while (max > INT_MAX) {
        max >>= 1;
        pos >>= 1;
    }
    m_bar->setRange(0, int(max));
    m_bar->setValue(int(qBound<qint64>(0, pos, max)));
    m_bar->setVisible(u.progressVisible());
    if (u.windowVisible() && !isVisible())
        show();
    else if (!u.windowVisible() && isVisible())
        close();
}

} // namespace lb
