#include "audit/AuditPageModel.h"

#include "audit/SiteAudit.h"

namespace lb::audit {

AuditPageModel::AuditPageModel(SiteAudit& audit, QObject* parent)
    : QAbstractTableModel(parent), m_audit(audit) {
    connect(&audit, &SiteAudit::progress, this, &AuditPageModel::refresh);
}

int AuditPageModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int AuditPageModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant AuditPageModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows || index.row() >= m_audit.pages().size())
        return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const AuditPage& p = m_audit.pages().at(index.row());
    const bool waiting = p.status == 0 && p.failure.isEmpty();
    switch (index.column()) {
    case Url:
        return p.url;
    case Status:
        if (waiting)
            return QString();
        return p.status ? QVariant(p.status) : QVariant(p.failure);
    case Ms:
        return waiting ? QVariant() : QVariant(p.ms);
    case Bytes:
        return waiting ? QVariant() : QVariant(p.bytes);
    case Depth:
        return p.depth;
    case Title:
        return p.title;
    case H1:
        return p.html ? QVariant(p.h1Count) : QVariant();
    case Links:
        return p.html ? QVariant(p.internalLinks + p.externalLinks) : QVariant();
    default:
        return {};
    }
}

QVariant AuditPageModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const names[] = {"URL",   "Status", "ms", "Bytes",
                                        "Depth", "Title",  "H1", "Links"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(names[section]) : QVariant();
}

void AuditPageModel::clear() {
    beginResetModel();
    m_rows = 0;
    endResetModel();
}

void AuditPageModel::refresh() {
    const int total = int(m_audit.pages().size());
    if (total < m_rows) {
        // A new crawl started.
        beginResetModel();
        m_rows = total;
        endResetModel();
        return;
    }
    if (m_rows > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, ColumnCount - 1));
    if (total > m_rows) {
        beginInsertRows({}, m_rows, total - 1);
        m_rows = total;
        endInsertRows();
    }
}

} // namespace lb::audit
