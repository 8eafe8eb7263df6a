#include "engines/EngineLines.h"

#include "common/AsciiText.h"
#include "common/NameListModel.h"
#include "engines/EngineRecord.h"

#include <algorithm>

namespace lb {

static void sortUnique(QStringList& lines) {
    std::stable_sort(lines.begin(), lines.end(), lessIgnoringCase);
    auto last = std::unique(lines.begin(), lines.end(), [](const QString& a, const QString& b) {
        return asciiEqualsIgnoreCase(a, b);
    });
    lines.erase(last, lines.end());
}

void EngineLines::setLines(QStringList lines) {
    sortUnique(lines);
    m_lines = std::move(lines);
}

bool EngineLines::add(const QString& line) {
    auto it = std::lower_bound(m_lines.begin(), m_lines.end(), line, lessIgnoringCase);
    if (it != m_lines.end() && asciiEqualsIgnoreCase(*it, line))
        return false;
    m_lines.insert(it, line);
    return true;
}

void EngineLines::addAll(const QStringList& lines) {
    if (lines.size() < 64) {
        for (const QString& l : lines)
            add(l);
        return;
    }
    // Present lines first, so a stable sort keeps them ahead of equal new ones.
    QStringList merged = m_lines;
    merged += lines;
    sortUnique(merged);
    m_lines = std::move(merged);
}

int EngineLines::indexOfName(const QString& name) const {
    if (name.contains(QLatin1Char('='))) {
        for (int i = 0; i < count(); ++i)
            if (asciiEqualsIgnoreCase(engineLineName(m_lines.at(i)), name))
                return i;
        return -1;
    }
    // Lines of that name all begin with name + "=", and lines sharing a prefix
    // are neighbours in the sorted list: the first one at or after the prefix.
    const QString prefix = name + QLatin1Char('=');
    auto it = std::lower_bound(m_lines.begin(), m_lines.end(), prefix, lessIgnoringCase);
    if (it != m_lines.end() && it->size() >= prefix.size() &&
        asciiEqualsIgnoreCase(it->left(prefix.size()), prefix))
        return int(it - m_lines.begin());
    return -1;
}

QString EngineLines::lineOfName(const QString& name) const {
    const int i = indexOfName(name);
    return i < 0 ? QString() : m_lines.at(i);
}

} // namespace lb
