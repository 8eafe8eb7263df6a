#pragma once
// The engine databases of the main window and the engine editor: the current
// database (EngineLines), the on-screen lists KeyList ("Engine List"),
// EngineList ("Engine Submit List"), ExcludeList ("Engine Ignore List") and
// the "Batch List", the four database choices, ignoring engines, saving, the
// category file and the editor's record. Widgets bind to the models and
// selection models here and forward clicks; every message goes through Dialogs.
#include "common/IniFile.h"
#include "common/NameListModel.h"
#include "engines/EngineLines.h"
#include "engines/EngineRecord.h"

#include <QItemSelectionModel>
#include <QObject>
#include <utility>

namespace lb {

class Dialogs;

class EngineDatabase : public QObject {
    Q_OBJECT
public:
    enum class Choice { SearchEngines, Classifieds, Custom, AllEngines };

    EngineDatabase(QString appDir, Dialogs& dialogs, QObject* parent = nullptr);

    const QString& appDir() const { return m_appDir; }
    QString dataHlz() const;    // AppDir + "\data\data.hlz"
    QString enginesHlz() const; // AppDir + "\data\engines.hlz"
    QString excludeFile() const;

    // --- state ---
    EngineLines& engineLines() { return m_lines; }
    const EngineLines& engineLines() const { return m_lines; }
    NameListModel& keyList() { return m_keyList; }
    NameListModel& engineList() { return m_engineList; }
    NameListModel& excludeList() { return m_excludeList; }
    NameListModel& batchList() { return m_batchList; }
    QItemSelectionModel& keyListSelection() { return m_keySel; }
    QItemSelectionModel& engineListSelection() { return m_engineSel; }
    QItemSelectionModel& excludeListSelection() { return m_excludeSel; }
    const QString& loaded() const { return m_loaded; }
    Choice choice() const { return m_choice; }
    bool batchIncluded() const { return m_batch; }
    int engineCount() const { return m_engineCount; } // the "Engine Count" panel
    const QStringList& categoryTypes() const { return m_categoryTypes; }
    const QStringList& categoryList() const { return m_categoryList; }
    IniFile& categoryIni() { return m_categoryIni; }

    // --- start-up steps of the main window ---
    void loadStartDatabase();    // load data.hlz into EngineLines, set Loaded (throws)
    void fillKeyListFromLines(); // KeyList := names of EngineLines, in list order
    void showFirstEngine();      // clear the editor, select and show the first engine
    void copyKeyListToEngineList();
    void readCategoryLists();    // "Catagory List" memo and the category type list
    void recount();              // re-read "batchlist" and the engine count
    void loadExcludeFile();      // ExcludeList from exclude.tmp (throws)
    void removeIgnoredEngines(); // ExcludeList names out of EngineList, then into KeyList
    // The steps above in start-up order, without a window (throws at the first file error).
    void runStartSteps();

    // --- database choice (page 2) ---
    void selectSearchEngines();
    void selectClassifieds();
    void selectAllEngines();
    void selectCustom();
    // Sets the batch check box; every change re-reads the batch list and count.
    void setBatchIncluded(bool on);

    // --- ignore list ---
    void ignoreSelected();
    void unignoreSelected();

    // --- engine editor ---
    const EngineRecord& editor() const { return m_editor; }
    void setEditorName(const QString& name);
    void setEditorField(int field, const QString& value);
    void setEditorPost(bool post);
    void setEditorCategoryType(const QString& type); // drop-down change
    void ClearEngineEditor();
    // Puts a whole record into the editor and shows the categories of its type.
    void setEditorRecord(const EngineRecord& record);
    // Shows the engine selected in KeyList (or nothing when none is selected).
    void ShowEngine();
    // Selects row of KeyList (-1 for none) without showing it.
    void selectKeyListRow(int row);
    int keyListRow() const; // the selected row of KeyList, -1 for none
    // A click in KeyList: show the engine, its categories and the Name/Value view.
    void keyListClicked(int row);
    void addEngine();
    void deleteEngine();
    void save();

    // Rows of the Name/Value view ("Site_Name", value) ... in their fixed order.
    QList<std::pair<QString, QString>> nameValueRows() const;
    const QList<std::pair<QString, QString>>& nameValueView() const { return m_nameValue; }
    void refreshNameValueView();
    // Shows the given values in the view's fixed rows (missing values empty).
    void setNameValueValues(const QStringList& values);

signals:
    void editorChanged();
    void loadedChanged();
    void countChanged();
    void categoriesChanged();
    void choiceChanged();
    void batchChanged();
    void nameValueChanged();

private:
    void setLoaded(const QString& path);
    void setChoice(Choice c);
    void reportError(const QString& message);
    void saveExcludeFile();
    void copyEngineListToKeyList();
    void readCategoryMemo();
    QStringList lineNames() const;

    QString m_appDir;
    Dialogs& m_dialogs;
    EngineLines m_lines;
    NameListModel m_keyList{true};
    NameListModel m_engineList{true};
    NameListModel m_excludeList{true};
    NameListModel m_batchList{false};
    QItemSelectionModel m_keySel{&m_keyList};
    QItemSelectionModel m_engineSel{&m_engineList};
    QItemSelectionModel m_excludeSel{&m_excludeList};
    QString m_loaded;
    Choice m_choice = Choice::Classifieds;
    bool m_batch = false;
    int m_engineCount = 0;
    IniFile m_categoryIni;
    QStringList m_categoryTypes;
    QStringList m_categoryList;
    EngineRecord m_editor;
    QList<std::pair<QString, QString>> m_nameValue;
};

} // namespace lb
