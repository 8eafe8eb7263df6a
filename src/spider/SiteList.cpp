#include "spider/SiteList.h"

#include "common/AsciiText.h"

#include <algorithm>

namespace lb {

SiteList::SiteList(QObject* parent) : QAbstractListModel(parent) {}

bool SiteList::less(const QString& a, const QString& b) {
    const int c = asciiCompareIgnoreCase(a, b);
    if (c != 0)
        return c < 0;
    return a < b;
}

std::pair<std::size_t, std::size_t> SiteList::lowerBound(const QString& url) const {
    // First block whose last entry is not less than url.
    auto blockIt = std::lower_bound(
        m_blocks.begin(), m_blocks.end(), url,
        [](const std::vector<QString>& block, const QString& u) { return less(block.back(), u); });
    if (blockIt == m_blocks.end())
        return {m_blocks.size(), 0};
    const auto pos = std::lower_bound(blockIt->begin(), blockIt->end(), url, less);
    return {std::size_t(blockIt - m_blocks.begin()), std::size_t(pos - blockIt->begin())};
}

int SiteList::rowOf(std::size_t block, std::size_t pos) const {
    std::size_t row = pos;
    for (std::size_t b = 0; b < block && b < m_blocks.size(); ++b)
        row += m_blocks[b].size();
    return int(row);
}

int SiteList::indexOf(const QString& url) const {
    const auto [block, pos] = lowerBound(url);
    if (block >= m_blocks.size() || m_blocks[block][pos] != url)
        return -1;
    return rowOf(block, pos);
}

QString SiteList::at(int row) const {
    if (row < 0)
        return QString();
    std::size_t r = std::size_t(row);
    for (const auto& block : m_blocks) {
        if (r < block.size())
            return block[r];
        r -= block.size();
    }
    return QString();
}

int SiteList::add(const QString& url) {
    // After equal entries, like a sorted list box.
    auto blockIt = std::upper_bound(
        m_blocks.begin(), m_blocks.end(), url,
        [](const QString& u, const std::vector<QString>& block) { return less(u, block.back()); });
    if (blockIt == m_blocks.end()) {
        if (m_blocks.empty() || m_blocks.back().size() >= MaxBlock)
            m_blocks.emplace_back();
        blockIt = m_blocks.end() - 1;
    }
    const std::size_t block = std::size_t(blockIt - m_blocks.begin());
    auto& entries = m_blocks[block];
    const std::size_t pos =
        std::size_t(std::upper_bound(entries.begin(), entries.end(), url, less) - entries.begin());
    const int row = rowOf(block, pos);
    beginInsertRows(QModelIndex(), row, row);
    entries.insert(entries.begin() + std::ptrdiff_t(pos), url);
    if (entries.size() > MaxBlock) {
        std::vector<QString> upper(std::make_move_iterator(entries.begin() + MaxBlock / 2),
                                   std::make_move_iterator(entries.end()));
        entries.resize(MaxBlock / 2);
        m_blocks.insert(m_blocks.begin() + std::ptrdiff_t(block) + 1, std::move(upper));
    }
    m_added.append(url);
    endInsertRows();
    return row;
}

void SiteList::clear() {
    beginResetModel();
    m_blocks.clear();
    m_added.clear();
    endResetModel();
}

QStringList SiteList::sorted() const {
    QStringList out;
    out.reserve(m_added.size());
    for (const auto& block : m_blocks)
        for (const QString& s : block)
            out.append(s);
    return out;
}

int SiteList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant SiteList::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count())
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return at(index.row());
    return {};
}

} // namespace lb
