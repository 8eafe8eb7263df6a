#include "ffa/ui/TFFA_Crawler.h"

#include "ffa/ui/TCustomQ.h"

#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace lb {

TFFA_Crawler::TFFA_Crawler(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("FFA_Crawler"));
    setWindowTitle(QStringLiteral("FFA_Crawler"));
    auto* layout = new QVBoxLayout(this);
    m_pathtxt = new QLineEdit(this);
    m_pathtxt->setObjectName(QStringLiteral("Pathtxt"));
    m_pathtxt->hide();
    m_customize = new QPushButton(QStringLiteral("Customize Search Engine Queries"), this);
    m_customize->setObjectName(QStringLiteral("Customize"));
    layout->addWidget(m_customize);
    connect(m_customize, &QPushButton::clicked, this, &TFFA_Crawler::CustomizeClick);
}

void TFFA_Crawler::CustomizeClick() {
    if (!m_options)
        return;
    m_options->refreshCount();
    m_options->show();
    m_options->raise();
}

} // namespace lb
