#pragma once
// "Site Audit": the audit of one site with its pages in a sortable, filterable
// table, the issues found, and the reports.
#include <QWidget>

#include <memory>

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSortFilterProxyModel;
class QSpinBox;
class QTableView;

namespace lb {

class Dialogs;
class ThtmlLite;

namespace audit {
class AuditPageModel;
class SiteAudit;
} // namespace audit

class SiteAuditWindow : public QWidget {
    Q_OBJECT
public:
    // dialogs: where messages and file choices go (the window's own when null).
    SiteAuditWindow(const QString& url, Dialogs* dialogs = nullptr, QWidget* parent = nullptr);
    ~SiteAuditWindow() override;

    audit::SiteAudit& audit() { return *m_audit; }

    void start();
    void stop();
    void openReport();
    void saveCsv();

private:
    void showProgress();
    void finished();
    void selectIssuePages();

    std::unique_ptr<Dialogs> m_ownDialogs;
    Dialogs* m_dialogs;
    audit::SiteAudit* m_audit;
    audit::AuditPageModel* m_model;
    QSortFilterProxyModel* m_proxy;
    QLineEdit* m_url;
    QSpinBox* m_maxPages;
    QSpinBox* m_inFlight;
    QPushButton* m_start;
    QPushButton* m_stop;
    QProgressBar* m_progress;
    QLineEdit* m_filter;
    QTableView* m_table;
    QListWidget* m_issues;
    QPushButton* m_openReport;
    QPushButton* m_saveCsv;
    QLabel* m_status;
    QString m_reportPath;
    ThtmlLite* m_reportView = nullptr;
};

} // namespace lb
