#include "reports/ui/HelpPage.h"

#include "common/Paths.h"
#include "reports/ui/ThtmlLite.h"

#include <QVBoxLayout>

namespace lb {

void setUpHelpViewer(ThtmlLite& viewer, const QString& appDir) {
    viewer.SetViewImages(true);
    viewer.SetHistoryMaxCount(0);
    viewer.SetDefHotSpotColor(QColor(0, 128, 0));
    viewer.SetDefFontName(QStringLiteral("Times New Roman"));
    viewer.SetDefPreFontName(QStringLiteral("Courier New"));
    viewer.SetDefBackground(Qt::white);
    viewer.SetServerRoot(appDir);
    // Another window may have moved the root; every click puts it back.
    QObject::connect(&viewer, &ThtmlLite::HotSpotClick, &viewer,
                     [&viewer, appDir](const QString&, bool*) { viewer.SetServerRoot(appDir); });
}

HelpPage::HelpPage(const QString& appDir, QWidget* parent) : QWidget(parent), m_appDir(appDir) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_viewer = new ThtmlLite(this);
    m_viewer->setObjectName(QStringLiteral("Help1"));
    setUpHelpViewer(*m_viewer, appDir);
    layout->addWidget(m_viewer);
}

void HelpPage::showHelpFile(const QString& relativePath) {
    m_viewer->LoadFromFile(appPath(m_appDir, relativePath));
}

void HelpPage::showHelp(HelpTopic topic) {
    showHelpFile(helpPage(topic));
}

} // namespace lb
