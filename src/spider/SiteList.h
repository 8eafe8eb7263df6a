#pragma once
// The spider's "Urls Found": every URL accepted in a crawl, kept sorted for
// the list box (ASCII letters folded, ties by plain comparison) and also in
// the order the URLs were added. Stored in blocks so that inserting one URL
// into tens of thousands stays cheap; exact look-ups give the sorted row.
#include <QAbstractListModel>
#include <QStringList>

#include <vector>

namespace lb {

class SiteList : public QAbstractListModel {
    Q_OBJECT
public:
    explicit SiteList(QObject* parent = nullptr);

    int count() const { return int(m_added.size()); }
    bool isEmpty() const { return m_added.isEmpty(); }
    // Row of the entry equal to url (case-sensitive) in the sorted order, or -1.
    int indexOf(const QString& url) const;
    bool contains(const QString& url) const { return indexOf(url) >= 0; }
    // Entry at a row of the sorted order.
    QString at(int row) const;
    // Adds one entry (equal entries are kept) and returns its sorted row.
    int add(const QString& url);
    void clear();

    // All entries in the order they were added.
    const QStringList& addedOrder() const { return m_added; }
    // All entries in the sorted order.
    QStringList sorted() const;

    // The list's order: ASCII case folded first, then plain comparison.
    static bool less(const QString& a, const QString& b);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    static constexpr std::size_t MaxBlock = 512;
    // Block holding the first entry not less than url, and that entry's
    // position in it; block == m_blocks.size() past the end.
    std::pair<std::size_t, std::size_t> lowerBound(const QString& url) const;
    int rowOf(std::size_t block, std::size_t pos) const;

    std::vector<std::vector<QString>> m_blocks;
    QStringList m_added;
};

} // namespace lb
