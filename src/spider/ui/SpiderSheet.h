#pragma once
// The "(Option) Deep Promote Spider" sheet of the session notebook: SiteUrl,
// "Get", "Abort", the lamp Panel36, "Urls Found" (SiteList), the hidden queue
// SiteToCr and the one-line status MapStat. Clicks go to Spider; "Audit"
// opens the site audit on the same URL.
#include <QWidget>

class QLabel;
class QLineEdit;
class QListView;
class QPlainTextEdit;
class QPushButton;

namespace lb {

class Spider;

class SpiderSheet : public QWidget {
    Q_OBJECT
public:
    // Without a spider the controls are shown but do nothing.
    explicit SpiderSheet(Spider* spider, QWidget* parent = nullptr);

private:
    void showState();
    void showStatus();

    Spider* m_spider;
    QLineEdit* m_siteUrl = nullptr;
    QPushButton* m_get = nullptr;
    QPushButton* m_audit = nullptr; // opens "Site Audit" on the URL
    QPushButton* m_abort = nullptr;
    QLabel* m_lamp = nullptr;
    QListView* m_siteList = nullptr;
    QListView* m_queue = nullptr;
    QPlainTextEdit* m_status = nullptr;
};

} // namespace lb
