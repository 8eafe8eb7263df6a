#pragma once
// The item list behind a list box: a plain string list exposed as a Qt model,
// kept either in insertion order or sorted without regard to ASCII case (the
// order of a sorted list box). Sorted inserts and look-ups use binary search,
// so lists of 100,000 names stay fast.
#include <QAbstractListModel>
#include <QStringList>

namespace lb {

class NameListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit NameListModel(bool sorted, QObject* parent = nullptr);

    bool isSorted() const { return m_sorted; }
    int count() const { return int(m_names.size()); }
    bool isEmpty() const { return m_names.isEmpty(); }
    const QStringList& names() const { return m_names; }
    QString at(int row) const { return m_names.value(row); }

    // Replaces the whole list (sorted lists sort the new items, equal ones keep their order).
    void setNames(QStringList names);
    void clear();
    // Adds one item and returns its row (after equal items in a sorted list).
    int add(const QString& name);
    void removeAt(int row);
    void removeRange(int row, int count);
    // First row whose text equals the name ignoring ASCII case, or -1.
    int indexOf(const QString& name) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    bool m_sorted;
    QStringList m_names;
};

// Ordering of sorted lists: ASCII letters compared without regard to case.
bool lessIgnoringCase(const QString& a, const QString& b);

} // namespace lb
