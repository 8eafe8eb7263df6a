#include "reports/ui/ResultsPage.h"

#include "reports/ui/ThtmlLite.h"

#include <QPushButton>
#include <QVBoxLayout>

namespace lb {

ResultsPage::ResultsPage(Dialogs& dialogs, QWidget* parent) : QWidget(parent), m_dialogs(dialogs) {
    auto* layout = new QVBoxLayout(this);
    m_viewer = new ThtmlLite(this);
    m_viewer->setObjectName(QStringLiteral("Lite1"));
    layout->addWidget(m_viewer);
    auto* help = new QPushButton(QStringLiteral("Help"), this);
    connect(help, &QPushButton::clicked, this, &ResultsPage::helpRequested);
    layout->addWidget(help);
}

void ResultsPage::setReportFolder(const QString& folder) { m_folder = folder; }

void ResultsPage::showReport(const QString& fullPath) { m_viewer->LoadFromFile(fullPath); }

} // namespace lb
