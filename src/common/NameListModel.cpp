#include "common/NameListModel.h"

#include "common/AsciiText.h"

#include <algorithm>

namespace lb {

bool lessIgnoringCase(const QString& a, const QString& b) {
    return asciiCompareIgnoreCase(a, b) < 0;
}

NameListModel::NameListModel(bool sorted, QObject* parent)
    : QAbstractListModel(parent), m_sorted(sorted) {}

void NameListModel::setNames(QStringList names) {
    if (m_sorted)
        std::stable_sort(names.begin(), names.end(), lessIgnoringCase);
    beginResetModel();
    m_names = std::move(names);
    endResetModel();
}

void NameListModel::clear() {
    setNames({});
}

int NameListModel::add(const QString& name) {
    int row = count();
    if (m_sorted)
        row = int(std::upper_bound(m_names.begin(), m_names.end(), name, lessIgnoringCase) -
                  m_names.begin());
    beginInsertRows(QModelIndex(), row, row);
    m_names.insert(row, name);
    endInsertRows();
    return row;
}

void NameListModel::removeAt(int row) {
    removeRange(row, 1);
}

void NameListModel::removeRange(int row, int n) {
    if (row < 0 || n <= 0 || row + n > count())
        return;
    beginRemoveRows(QModelIndex(), row, row + n - 1);
    m_names.remove(row, n);
    endRemoveRows();
}

int NameListModel::indexOf(const QString& name) const {
    if (m_sorted) {
        auto it = std::lower_bound(m_names.begin(), m_names.end(), name, lessIgnoringCase);
        if (it != m_names.end() && asciiEqualsIgnoreCase(*it, name))
            return int(it - m_names.begin());
        return -1;
    }
    for (int i = 0; i < count(); ++i)
        if (asciiEqualsIgnoreCase(m_names.at(i), name))
            return i;
    return -1;
}

int NameListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant NameListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count())
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return m_names.at(index.row());
    return {};
}

} // namespace lb
