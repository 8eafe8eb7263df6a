#pragma once
// The "Help" page and the settings every help viewer shares.
#include "reports/HelpPages.h"

#include <QWidget>

namespace lb {

class ThtmlLite;

// Help viewer settings: pictures shown, no history, hot spots in green,
// Times New Roman / Courier New; each link click first points ServerRoot at
// the program folder and lets the viewer follow the link itself.
void setUpHelpViewer(ThtmlLite& viewer, const QString& appDir);

class HelpPage : public QWidget {
    Q_OBJECT
public:
    explicit HelpPage(const QString& appDir, QWidget* parent = nullptr);

    ThtmlLite* viewer() const { return m_viewer; } // `Help1`
    // Loads a help page given relative to the program folder ("\help\results.htm").
    void showHelpFile(const QString& relativePath);
    void showHelp(HelpTopic topic);

private:
    QString m_appDir;
    ThtmlLite* m_viewer = nullptr;
};

} // namespace lb
