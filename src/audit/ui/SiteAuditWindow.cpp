#include "audit/ui/SiteAuditWindow.h"

#include "audit/AuditPageModel.h"
#include "audit/AuditReport.h"
#include "audit/SiteAudit.h"
#include "common/FileError.h"
#include "common/ProxySettings.h"
#include "common/ui/Button.h"
#include "common/ui/QtDialogs.h"
#include "reports/ui/ThtmlLite.h"

#include <QDir>

#include <algorithm>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMap>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

namespace lb {

SiteAuditWindow::SiteAuditWindow(const QString& url, Dialogs* dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), m_dialogs(dialogs) {
    setObjectName(QStringLiteral("SiteAudit"));
    setWindowTitle(QStringLiteral("Site Audit"));
    setAttribute(Qt::WA_DeleteOnClose);
    if (!m_dialogs) {
        m_ownDialogs = std::make_unique<QtDialogs>(this);
        m_dialogs = m_ownDialogs.get();
    }
    m_audit = new audit::SiteAudit(this);
    m_model = new audit::AuditPageModel(*m_audit, this);
    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setSourceModel(m_model);
    m_proxy->setFilterKeyColumn(-1);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_proxy->setSortRole(Qt::DisplayRole);

    auto* layout = new QVBoxLayout(this);
    auto* top = new QGridLayout;
    top->addWidget(new QLabel(QStringLiteral("URL:"), this), 0, 0);
    m_url = new QLineEdit(url, this);
    m_url->setObjectName(QStringLiteral("AuditUrl"));
    top->addWidget(m_url, 0, 1, 1, 5);
    top->addWidget(new QLabel(QStringLiteral("Page limit:"), this), 1, 0);
    m_maxPages = new QSpinBox(this);
    m_maxPages->setObjectName(QStringLiteral("AuditMaxPages"));
    m_maxPages->setRange(1, 1000000);
    m_maxPages->setValue(10000);
    top->addWidget(m_maxPages, 1, 1);
    top->addWidget(new QLabel(QStringLiteral("In flight:"), this), 1, 2);
    m_inFlight = new QSpinBox(this);
    m_inFlight->setObjectName(QStringLiteral("AuditInFlight"));
    m_inFlight->setRange(1, 256);
    m_inFlight->setValue(4);
    top->addWidget(m_inFlight, 1, 3);
    m_start = button(QStringLiteral("AuditStart"), QStringLiteral("Start"), this);
    m_stop = button(QStringLiteral("AuditStop"), QStringLiteral("Stop"), this);
    m_stop->setEnabled(false);
    top->addWidget(m_start, 1, 4);
    top->addWidget(m_stop, 1, 5);
    layout->addLayout(top);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("AuditProgress"));
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_progress->setTextVisible(true);
    m_progress->setFormat(QStringLiteral("0 pages done, 0 queued"));
    layout->addWidget(m_progress);

    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("AuditFilter"));
    m_filter->setPlaceholderText(QStringLiteral("Filter pages"));
    m_filter->setClearButtonEnabled(true);
    layout->addWidget(m_filter);

    auto* split = new QSplitter(Qt::Vertical, this);
    m_table = new QTableView(split);
    m_table->setObjectName(QStringLiteral("AuditPages"));
    m_table->setModel(m_proxy);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(-1, Qt::AscendingOrder);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setColumnWidth(audit::AuditPageModel::Url, 360);
    m_issues = new QListWidget(split);
    m_issues->setObjectName(QStringLiteral("AuditIssues"));
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    layout->addWidget(split, 1);

    auto* bottom = new QHBoxLayout;
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("AuditStatus"));
    bottom->addWidget(m_status, 1);
    m_openReport = button(QStringLiteral("AuditOpenReport"), QStringLiteral("Open report"), this);
    m_saveCsv = button(QStringLiteral("AuditSaveCsv"), QStringLiteral("Save CSV"), this);
    m_openReport->setEnabled(false);
    m_saveCsv->setEnabled(false);
    bottom->addWidget(m_openReport);
    bottom->addWidget(m_saveCsv);
    layout->addLayout(bottom);

    connect(m_start, &QPushButton::clicked, this, &SiteAuditWindow::start);
    connect(m_stop, &QPushButton::clicked, this, &SiteAuditWindow::stop);
    connect(m_openReport, &QPushButton::clicked, this, &SiteAuditWindow::openReport);
    connect(m_saveCsv, &QPushButton::clicked, this, &SiteAuditWindow::saveCsv);
    connect(m_filter, &QLineEdit::textChanged, m_proxy,
            &QSortFilterProxyModel::setFilterFixedString);
    connect(m_audit, &audit::SiteAudit::progress, this, &SiteAuditWindow::showProgress);
    connect(m_audit, &audit::SiteAudit::finished, this, &SiteAuditWindow::finished);
    connect(m_issues, &QListWidget::itemSelectionChanged, this, &SiteAuditWindow::selectIssuePages);
    resize(900, 640);
}

SiteAuditWindow::~SiteAuditWindow() = default;

void SiteAuditWindow::start() {
    if (m_audit->running())
        return;
    audit::AuditOptions options;
    options.url = m_url->text().trimmed();
    options.maxPages = m_maxPages->value();
    options.inFlight = m_inFlight->value();
    const ProxySettings proxy = ProxySettings::load(QDir::currentPath());
    if (proxy.behindProxy) {
        options.proxyHost = proxy.host;
        options.proxyPort = proxy.port;
        options.proxyUser = proxy.userName;
        options.proxyPassword = proxy.password;
    }
    m_issues->clear();
    m_reportPath.clear();
    m_openReport->setEnabled(false);
    m_saveCsv->setEnabled(false);
    if (!m_audit->start(options)) {
        m_dialogs->inform(m_audit->error(), windowTitle());
        return;
    }
    m_model->clear();
    m_start->setEnabled(false);
    m_stop->setEnabled(true);
    m_status->setText(QStringLiteral("Reading robots.txt"));
    showProgress();
}

void SiteAuditWindow::stop() {
    m_audit->stop();
}

void SiteAuditWindow::showProgress() {
    const int done = int(m_audit->pages().size()) - m_audit->inFlight();
    const int queued = m_audit->queued();
    m_progress->setRange(0, std::max(1, done + queued + m_audit->inFlight()));
    m_progress->setValue(std::max(0, done));
    m_progress->setFormat(
        QStringLiteral("%1 pages done, %2 queued").arg(std::max(0, done)).arg(queued));
    if (m_audit->running() && done > 0)
        m_status->setText(QStringLiteral("Auditing"));
}

void SiteAuditWindow::finished() {
    m_start->setEnabled(true);
    m_stop->setEnabled(false);
    m_model->refresh();
    if (!m_audit->error().isEmpty()) {
        m_status->setText(m_audit->error());
        return;
    }
    const audit::AuditResult& result = m_audit->result();
    // One entry per issue code with its count; the lines behind it as data.
    QMap<QString, QStringList> urls;
    QMap<QString, int> counts;
    for (const audit::AuditIssue& i : result.issues) {
        urls[i.code].append(i.url);
        ++counts[i.code];
    }
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        auto* item =
            new QListWidgetItem(QStringLiteral("%1 (%2)").arg(it.key()).arg(it.value()), m_issues);
        item->setData(Qt::UserRole, urls.value(it.key()));
    }
    for (int i = 0; i < result.crawlerAllowed.size(); ++i)
        new QListWidgetItem(QStringLiteral("robots: ") + audit::knownCrawlers().at(i) +
                                (result.crawlerAllowed.at(i) ? QStringLiteral(" allowed")
                                                             : QStringLiteral(" blocked")),
                            m_issues);
    m_status->setText(QStringLiteral("%1 pages, %2 issues, %3 broken links")
                          .arg(m_audit->pages().size())
                          .arg(result.issues.size())
                          .arg(result.brokenUrls));
    const QString appDir = QDir::currentPath();
    const audit::AuditCrawl& crawl = m_audit->crawl();
    try {
        const QString html = audit::auditReportPath(appDir, crawl.start, QStringLiteral(".htm"));
        audit::writeAuditFile(html, audit::auditHtml(crawl, result));
        audit::writeAuditFile(audit::auditReportPath(appDir, crawl.start, QStringLiteral(".csv")),
                              audit::auditCsv(crawl));
        m_reportPath = html;
    } catch (const FileError& e) {
        m_dialogs->showError(e.message());
    }
    m_openReport->setEnabled(!m_reportPath.isEmpty());
    m_saveCsv->setEnabled(true);
}

void SiteAuditWindow::selectIssuePages() {
    QSet<QString> named;
    for (const QListWidgetItem* item : m_issues->selectedItems())
        for (const QString& url : item->data(Qt::UserRole).toStringList())
            named.insert(url);
    QItemSelection selection;
    for (int row = 0; row < m_proxy->rowCount(); ++row) {
        const QModelIndex at = m_proxy->index(row, audit::AuditPageModel::Url);
        if (named.contains(at.data().toString()))
            selection.select(at, at.siblingAtColumn(audit::AuditPageModel::ColumnCount - 1));
    }
    m_table->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!selection.isEmpty())
        m_table->scrollTo(selection.first().topLeft());
}

void SiteAuditWindow::openReport() {
    if (m_reportPath.isEmpty())
        return;
    if (!m_reportView) {
        m_reportView = new ThtmlLite(this);
        m_reportView->setWindowFlag(Qt::Window);
        m_reportView->setObjectName(QStringLiteral("AuditReport"));
        m_reportView->setWindowTitle(QStringLiteral("Site Audit Report"));
        m_reportView->resize(800, 600);
    }
    m_reportView->LoadFromFile(m_reportPath);
    m_reportView->show();
    m_reportView->raise();
}

void SiteAuditWindow::saveCsv() {
    const QString path = m_dialogs->saveFileName(
        QStringLiteral("Save CSV"), QStringLiteral("CSV files (*.csv)"),
        QDir::current().filePath(QStringLiteral("reports")), QStringLiteral("csv"));
    if (path.isEmpty())
        return;
    try {
        audit::writeAuditFile(path, audit::auditCsv(m_audit->crawl()));
    } catch (const FileError& e) {
        m_dialogs->showError(e.message());
    }
}

} // namespace lb
