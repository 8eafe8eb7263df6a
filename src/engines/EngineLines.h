#pragma once
// The current engine database: engine lines kept sorted by their whole text
// without regard to ASCII case; a line equal to one present (ignoring case)
// is not added again. Records are found by name, ignoring case.
#include <QString>
#include <QStringList>

namespace lb {

class EngineLines {
public:
    int count() const { return int(m_lines.size()); }
    bool isEmpty() const { return m_lines.isEmpty(); }
    const QStringList& lines() const { return m_lines; }
    QString at(int i) const { return m_lines.value(i); }

    // Replaces the contents: sorts, drops lines equal to an earlier one.
    void setLines(QStringList lines);
    void clear() { m_lines.clear(); }
    // Adds one line at its sorted place; false when an equal line is present.
    bool add(const QString& line);
    // Adds many lines at once (same result as adding them one by one).
    void addAll(const QStringList& lines);
    void removeAt(int i) { m_lines.removeAt(i); }

    // Index of the first line whose name equals the name ignoring case, or -1.
    int indexOfName(const QString& name) const;
    bool containsName(const QString& name) const { return indexOfName(name) >= 0; }
    QString lineOfName(const QString& name) const;

private:
    QStringList m_lines;
};

} // namespace lb
