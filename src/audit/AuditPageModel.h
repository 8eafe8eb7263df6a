#pragma once
// The audited pages as a table for the window, refreshed in batches: one
// insertion and one change signal per progress step, never one per page.
#include <QAbstractTableModel>

namespace lb::audit {

class SiteAudit;

class AuditPageModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Url, Status, Ms, Bytes, Depth, Title, H1, Links, ColumnCount };

    explicit AuditPageModel(SiteAudit& audit, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Takes in what the crawl found since the last call.
    void refresh();
    // Empties the table for a new crawl.
    void clear();

private:
    SiteAudit& m_audit;
    int m_rows = 0;
};

} // namespace lb::audit
