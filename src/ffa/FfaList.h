#pragma once
// The saved FFA list: record lines in engine-line form (sorted, no line
// twice), the names of "Saved FFA List" in the order they came, the name
// selected there and the "Form Variables" view of one record.
#include "common/NameListModel.h"
#include "engines/EngineLines.h"

#include <array>
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace lb {

class FfaList {
public:
    // Rows of the "Form Variables" view.
    enum Row {
        SiteName,
        SiteUrl,
        CgiUrl,
        Name,
        LastName,
        Email,
        Company,
        Address1,
        Address2,
        Country,
        City,
        State,
        Zip,
        Phone,
        Fax,
        Url,
        Title,
        Description,
        Catagory,
        CatType,
        Method,
        Hidden,
        Keyword1,
        RowCount = Keyword1 + 16
    };
    static QString rowLabel(int row);
    // View rows in the order their values stand in a record line.
    static const std::array<int, 37>& lineOrder();

    FfaList();

    const EngineLines& lines() const { return m_lines; }
    NameListModel& keyList() { return m_keyList; }
    const NameListModel& keyList() const { return m_keyList; }
    int currentName() const { return m_current; }
    const std::array<QString, RowCount>& view() const { return m_view; }
    QString viewValue(int row) const { return m_view[size_t(row)]; }
    void setViewValue(int row, const QString& value) { m_view[size_t(row)] = value; }
    void appendViewValue(int row, const QString& text) { m_view[size_t(row)] += text; }

    // New list: no lines, no names, an empty view.
    void reset();
    // Fills the list from file lines; the names are the text before each "=".
    void setLines(QStringList lines);

    // The "Saved FFA List" text contains the name (ASCII case ignored). An
    // empty name counts as contained once the list holds anything.
    bool keyListContains(const QString& name) const;
    // Selects the name (when the list holds it) and shows its record.
    void selectName(const QString& name);
    void selectRow(int row);
    // Empties every value except Method.
    void clearView();
    // The view as one record line: blanks become "+", line breaks go.
    QString buildLine() const;
    // Adds the view's record under its name: line and name; false when the
    // name is already in the list text.
    bool storeView();

private:
    void showLine(const QString& line);

    EngineLines m_lines;
    NameListModel m_keyList{false};
    QByteArray m_keyText; // upper-cased names, one per line, for the contains tests
    int m_current = -1;
    std::array<QString, RowCount> m_view;
};

// File names of FFA lists: ".chc" at the end (any case) means enciphered.
bool isCipheredListName(const QString& path);
// "Create New Database": a name ending in ".hlx" (any case) ends in ".chc".
QString newListName(const QString& path);
// Throws FileError "Cannot open file " / "Unable to write to " + path.
QStringList loadFfaListFile(const QString& path);
void saveFfaListFile(const QStringList& lines, const QString& path);

} // namespace lb
