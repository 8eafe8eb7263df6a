#include "engines/EngineDatabase.h"

#include "common/AsciiText.h"
#include "common/Dialogs.h"
#include "common/FileError.h"
#include "common/LineSplitter.h"
#include "common/Paths.h"
#include "engines/EngineFile.h"

#include <QFile>
#include <QHash>
#include <QSaveFile>

namespace lb {

static const QString DatabaseFilter = QStringLiteral("Database files (*.HLX *.CHC)");

EngineDatabase::EngineDatabase(QString appDir, Dialogs& dialogs, QObject* parent)
    : QObject(parent), m_appDir(std::move(appDir)), m_dialogs(dialogs),
      m_categoryIni(appPath(m_appDir, QStringLiteral("\\data\\catagory.hlx"))) {
    m_batch = true; // "Classifieds/FFA's" is the choice at start, and it includes the batch
    m_editor.setPost(true);
    refreshNameValueView();
}

QString EngineDatabase::dataHlz() const {
    return appPath(m_appDir, QStringLiteral("\\data\\data.hlz"));
}
QString EngineDatabase::enginesHlz() const {
    return appPath(m_appDir, QStringLiteral("\\data\\engines.hlz"));
}
QString EngineDatabase::excludeFile() const {
    return appPath(m_appDir, QStringLiteral("\\data\\exclude.tmp"));
}

void EngineDatabase::reportError(const QString& message) {
    m_dialogs.showError(message);
}

void EngineDatabase::setLoaded(const QString& path) {
    m_loaded = path;
    emit loadedChanged();
}

void EngineDatabase::setChoice(Choice c) {
    m_choice = c;
    emit choiceChanged();
}

QStringList EngineDatabase::lineNames() const {
    QStringList names;
    names.reserve(m_lines.count());
    for (const QString& line : m_lines.lines())
        names.append(engineLineName(line));
    return names;
}

// --- start-up steps ---

void EngineDatabase::loadStartDatabase() {
    LoadEngineFile(dataHlz(), m_lines);
    setLoaded(dataHlz());
}

void EngineDatabase::fillKeyListFromLines() {
    m_keyList.setNames(lineNames());
}

void EngineDatabase::showFirstEngine() {
    ClearEngineEditor();
    if (!m_keyList.isEmpty()) {
        selectKeyListRow(0);
        ShowEngine();
    }
}

void EngineDatabase::copyKeyListToEngineList() {
    m_engineList.setNames(m_keyList.names());
}

void EngineDatabase::readCategoryMemo() {
    m_categoryList = m_categoryIni.readSection(m_editor[EngineRecord::CategoryType]);
    emit categoriesChanged();
}

void EngineDatabase::readCategoryLists() {
    m_categoryList = m_categoryIni.readSection(m_editor[EngineRecord::CategoryType]);
    m_categoryTypes = m_categoryIni.readSection(QStringLiteral("CatType"));
    emit categoriesChanged();
}

void EngineDatabase::recount() {
    const IniFile batch(appPath(m_appDir, QStringLiteral("\\data\\batch.hlx")));
    m_batchList.setNames(batch.readSection(QStringLiteral("batchlist")));
    m_engineCount = m_keyList.count();
    if (m_batch)
        m_engineCount += batch.readInteger(QStringLiteral("count"), QStringLiteral("count"), 0);
    emit countChanged();
}

void EngineDatabase::loadExcludeFile() {
    QFile file(excludeFile());
    if (!file.open(QIODevice::ReadOnly))
        throw FileError::cannotOpen(excludeFile());
    QStringList names = splitLines(decodeText(file.readAll()));
    names.removeIf([](const QString& n) { return n.isEmpty(); });
    m_excludeList.setNames(names);
}

void EngineDatabase::removeIgnoredEngines() {
    if (!m_excludeList.isEmpty()) {
        // One occurrence per ignored name leaves, as deleting them one by one would.
        QHash<QString, int> pending;
        for (const QString& n : m_excludeList.names())
            ++pending[asciiUpper(n)];
        QStringList kept;
        kept.reserve(m_engineList.count());
        for (const QString& n : m_engineList.names()) {
            auto it = pending.find(asciiUpper(n));
            if (it != pending.end() && it.value() > 0) {
                --it.value();
                continue;
            }
            kept.append(n);
        }
        if (kept.size() != m_engineList.count())
            m_engineList.setNames(kept);
    }
    copyEngineListToKeyList();
}

void EngineDatabase::copyEngineListToKeyList() {
    // The engine shown stays selected when it is still listed.
    const int row = keyListRow();
    const QString shown = row >= 0 ? m_keyList.at(row) : QString();
    m_keyList.setNames(m_engineList.names());
    if (row >= 0)
        selectKeyListRow(m_keyList.indexOf(shown));
}

// --- database choice ---

void EngineDatabase::setBatchIncluded(bool on) {
    if (m_batch != on) {
        m_batch = on;
        emit batchChanged();
    }
    recount();
}

void EngineDatabase::selectSearchEngines() {
    setChoice(Choice::SearchEngines);
    try {
        LoadEngineFile(enginesHlz(), m_lines);
        setLoaded(enginesHlz());
    } catch (const FileError& e) {
        reportError(e.message());
        return;
    }
    fillKeyListFromLines();
    copyKeyListToEngineList();
    setBatchIncluded(false);
    removeIgnoredEngines();
}

void EngineDatabase::selectClassifieds() {
    setChoice(Choice::Classifieds);
    if (!m_batch) {
        m_batch = true;
        emit batchChanged();
    }
    try {
        loadStartDatabase();
    } catch (const FileError& e) {
        reportError(e.message());
        return;
    }
    fillKeyListFromLines();
    showFirstEngine();
    copyKeyListToEngineList();
    readCategoryLists();
    recount();
    removeIgnoredEngines();
}

void EngineDatabase::selectAllEngines() {
    setChoice(Choice::AllEngines);
    try {
        // The previous database stays in EngineLines: its lines are merged, not replaced.
        QStringList temp;
        LoadEngineFile(enginesHlz(), temp);
        QStringList names;
        names.reserve(temp.size());
        for (const QString& line : temp)
            names.append(engineLineName(line));
        m_keyList.setNames(names);
        m_engineList.setNames(names);
        m_lines.addAll(temp);

        LoadEngineFile(dataHlz(), temp);
        for (const QString& line : temp)
            names.append(engineLineName(line));
        m_keyList.setNames(names);
        m_engineList.setNames(names);
        m_lines.addAll(temp);
    } catch (const FileError& e) {
        reportError(e.message());
        return;
    }
    setBatchIncluded(true);
    removeIgnoredEngines();
}

void EngineDatabase::selectCustom() {
    setChoice(Choice::Custom);
    const QString customDir = appPath(m_appDir, QStringLiteral("\\data\\custom\\"));
    const QString path = m_dialogs.openFileName(QStringLiteral("Open"), DatabaseFilter,
                                                customDir + QStringLiteral("custom.hlx"));
    if (!path.isEmpty()) {
        try {
            if (asciiUpper(path).endsWith(QLatin1String(".CHC")))
                LoadEngineFile(path, m_lines);
            else
                loadPlainEngineFile(path, m_lines);
        } catch (const FileError& e) {
            reportError(e.message());
            return;
        }
        setLoaded(path);
        fillKeyListFromLines();
        showFirstEngine();
        if (m_batch) {
            m_batch = false;
            emit batchChanged();
        }
        copyKeyListToEngineList();
        readCategoryLists();
        recount();
    }
    removeIgnoredEngines();
}

// --- ignore list ---

// The run of selected rows that starts at the focus row: once per selected
// item the focused one moves if it is selected, and the focus then rests on
// the next item, so exactly this run moves.
static int selectedRunAtFocus(const QItemSelectionModel& sel, int rows, int& focus) {
    const int selected = int(sel.selectedRows().size());
    focus = sel.currentIndex().isValid() ? sel.currentIndex().row() : -1;
    if (focus < 0)
        return 0;
    int run = 0;
    while (run < selected && focus + run < rows && sel.isRowSelected(focus + run, QModelIndex()))
        ++run;
    return run;
}

static void keepFocus(QItemSelectionModel& sel, int row) {
    const QAbstractItemModel* m = sel.model();
    if (row >= 0 && row < m->rowCount())
        sel.setCurrentIndex(m->index(row, 0), QItemSelectionModel::NoUpdate);
}

void EngineDatabase::ignoreSelected() {
    if (!m_engineSel.hasSelection()) {
        m_dialogs.inform(QStringLiteral("You have not selected an item to Remove"),
                         QStringLiteral("No Item"));
        return;
    }
    int focus = -1;
    const int run = selectedRunAtFocus(m_engineSel, m_engineList.count(), focus);
    for (int k = 0; k < run; ++k)
        m_excludeList.add(m_engineList.at(focus + k));
    m_engineList.removeRange(focus, run);
    keepFocus(m_engineSel, focus);
    copyEngineListToKeyList();
    saveExcludeFile();
}

void EngineDatabase::unignoreSelected() {
    if (!m_excludeSel.hasSelection()) {
        m_dialogs.inform(QStringLiteral("You have not selected an item to Remove"),
                         QStringLiteral("No Item"));
        return;
    }
    int focus = -1;
    const int run = selectedRunAtFocus(m_excludeSel, m_excludeList.count(), focus);
    for (int k = 0; k < run; ++k) {
        const QString name = m_excludeList.at(focus + k);
        if (m_lines.containsName(name))
            m_engineList.add(name);
    }
    m_excludeList.removeRange(focus, run);
    keepFocus(m_excludeSel, focus);
    copyEngineListToKeyList();
    saveExcludeFile();
}

void EngineDatabase::saveExcludeFile() {
    const QByteArray bytes = joinLinesCrLf(m_excludeList.names());
    QSaveFile file(excludeFile());
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        reportError(FileError::cannotWrite(excludeFile()).message());
}

// --- engine editor ---

void EngineDatabase::setEditorName(const QString& name) {
    if (m_editor.name == name)
        return;
    m_editor.name = name;
    emit editorChanged();
}

void EngineDatabase::setEditorField(int field, const QString& value) {
    if (field < 0 || field >= EngineRecord::FieldCount || m_editor[field] == value)
        return;
    m_editor[field] = value;
    emit editorChanged();
}

void EngineDatabase::setEditorPost(bool post) {
    if (m_editor.isPost() == post && !m_editor[EngineRecord::Method].isEmpty())
        return;
    m_editor.setPost(post);
    emit editorChanged();
}

void EngineDatabase::setEditorCategoryType(const QString& type) {
    setEditorField(EngineRecord::CategoryType, type);
    readCategoryMemo();
}

void EngineDatabase::ClearEngineEditor() {
    m_editor = EngineRecord();
    m_editor.setPost(true);
    emit editorChanged();
}

void EngineDatabase::setEditorRecord(const EngineRecord& record) {
    m_editor = record;
    m_editor.setPost(record.isPost());
    emit editorChanged();
    readCategoryMemo();
}

void EngineDatabase::selectKeyListRow(int row) {
    if (row < 0 || row >= m_keyList.count()) {
        m_keySel.clear();
        return;
    }
    const QModelIndex idx = m_keyList.index(row, 0);
    m_keySel.setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect);
}

int EngineDatabase::keyListRow() const {
    const QModelIndex cur = m_keySel.currentIndex();
    if (cur.isValid() && m_keySel.isSelected(cur))
        return cur.row();
    const QModelIndexList rows = m_keySel.selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void EngineDatabase::ShowEngine() {
    const int row = keyListRow();
    if (row < 0) {
        // Nothing selected (an empty list after a delete): show nothing.
        ClearEngineEditor();
        return;
    }
    const QString name = m_keyList.at(row);
    m_editor = EngineRecord::fromLine(m_lines.lineOfName(name));
    m_editor.name = name;
    m_editor.setPost(m_editor.isPost());
    emit editorChanged();
}

void EngineDatabase::keyListClicked(int row) {
    selectKeyListRow(row);
    ShowEngine();
    readCategoryMemo();
    refreshNameValueView();
}

void EngineDatabase::addEngine() {
    const QString name = m_editor.name;
    if (name.isEmpty()) {
        m_dialogs.inform(QStringLiteral("You have no Site_Name to save."),
                         QStringLiteral("No Session Name"));
        return;
    }
    const QString cgi = m_editor[EngineRecord::CgiUrl];
    for (const QString& page : m_batchList.names()) {
        if (!page.isEmpty() && cgi.contains(page)) {
            m_dialogs.inform(QStringLiteral("This page is already included in the batch "
                                            "submissions."),
                             QStringLiteral("Already Exists"));
            return;
        }
    }
    if (m_keyList.indexOf(name) < 0) {
        m_lines.add(m_editor.toLine());
        const int row = m_keyList.add(name);
        m_engineList.add(name);
        selectKeyListRow(row);
        return;
    }
    if (!m_dialogs.askYesNo(
            QStringLiteral("This Name already exists.\nDo you wish to modify it  ?"),
            QStringLiteral("Duplicate Name")))
        return;
    const int old = m_lines.indexOfName(name);
    if (old >= 0)
        m_lines.removeAt(old);
    m_lines.add(m_editor.toLine());
    selectKeyListRow(m_keyList.indexOf(name));
}

void EngineDatabase::deleteEngine() {
    const int row = keyListRow();
    if (row < 0) {
        m_dialogs.inform(QStringLiteral("You have not selected an item to Delete"),
                         QStringLiteral("No Item"));
        return;
    }
    const int next = (row == m_keyList.count() - 1) ? row - 1 : row;
    const QString name = m_keyList.at(row);
    const int line = m_lines.indexOfName(name);
    if (line >= 0)
        m_lines.removeAt(line);
    const int inSubmit = m_engineList.indexOf(name);
    if (inSubmit >= 0)
        m_engineList.removeAt(inSubmit);
    m_keyList.removeAt(row);
    selectKeyListRow(next);
    ShowEngine();
    refreshNameValueView();
    recount();
}

void EngineDatabase::save() {
    if (m_choice == Choice::AllEngines) {
        m_dialogs.inform(QStringLiteral("Sorry you can not Save while All Engines are selected"),
                         QStringLiteral("Overwrite not allowed"));
        return;
    }
    try {
        if (m_dialogs.askYesNo(
                QStringLiteral("Do you want to save this file as a custom database?"),
                QStringLiteral("Save As"))) {
            const QString customDir = appPath(m_appDir, QStringLiteral("\\data\\custom\\"));
            QString path =
                m_dialogs.saveFileName(QStringLiteral("Save As"), DatabaseFilter,
                                       customDir + QStringLiteral("Custom"), QStringLiteral("chc"));
            if (path.isEmpty())
                return;
            if (asciiUpper(path).endsWith(QLatin1String(".HLX")))
                path = path.left(path.size() - 4) + QStringLiteral(".chc");
            SaveEngineFile(m_lines, path);
            return;
        }
        if (m_loaded.isEmpty())
            return;
        if (m_loaded.contains(QLatin1String("data.hlz")) ||
            m_loaded.contains(QLatin1String("engines.hlz")))
            SaveEngineFile(m_lines, m_loaded);
        else
            savePlainEngineFile(m_lines, m_loaded);
    } catch (const FileError& e) {
        reportError(e.message());
    }
}

QList<std::pair<QString, QString>> EngineDatabase::nameValueRows() const {
    using R = EngineRecord;
    const EngineRecord& e = m_editor;
    QList<std::pair<QString, QString>> rows = {
        {QStringLiteral("Site_Name"), e.name},
        {QStringLiteral("Site_Url"), e[R::SiteUrl]},
        {QStringLiteral("Cgi_Url"), e[R::CgiUrl]},
        {QStringLiteral("Name"), e[R::FirstNameVar]},
        {QStringLiteral("Last Name"), e[R::LastNameVar]},
        {QStringLiteral("Email"), e[R::EmailVar]},
        {QStringLiteral("Company"), e[R::CompanyVar]},
        {QStringLiteral("Address1"), e[R::Address1Var]},
        {QStringLiteral("Address2"), e[R::Address2Var]},
        {QStringLiteral("Country"), e[R::CountryVar]},
        {QStringLiteral("City"), e[R::CityVar]},
        {QStringLiteral("State"), e[R::StateVar]},
        {QStringLiteral("Zip"), e[R::ZipVar]},
        {QStringLiteral("Phone"), e[R::PhoneVar]},
        {QStringLiteral("Fax"), e[R::FaxVar]},
        {QStringLiteral("URL"), e[R::UrlVar]},
        {QStringLiteral("Title"), e[R::TitleVar]},
        {QStringLiteral("Description"), e[R::DescriptionVar]},
        {QStringLiteral("Catagory"), e[R::CategoryVar]},
        {QStringLiteral("Cat_Type"), e[R::CategoryType]},
        {QStringLiteral("Method"), e.isPost() ? QStringLiteral("POST") : QStringLiteral("GET")},
        {QStringLiteral("Hidden"), e[R::HiddenValues]},
    };
    for (int k = 0; k < 16; ++k)
        rows.append({QStringLiteral("Keyword%1").arg(k + 1), e[R::Key1Var + k]});
    return rows;
}

void EngineDatabase::refreshNameValueView() {
    m_nameValue = nameValueRows();
    emit nameValueChanged();
}

void EngineDatabase::setNameValueValues(const QStringList& values) {
    m_nameValue = nameValueRows();
    for (int i = 0; i < m_nameValue.size(); ++i)
        m_nameValue[i].second = values.value(i);
    emit nameValueChanged();
}

void EngineDatabase::runStartSteps() {
    loadStartDatabase();
    fillKeyListFromLines();
    showFirstEngine();
    copyKeyListToEngineList();
    readCategoryLists();
    recount();
    loadExcludeFile();
    removeIgnoredEngines();
}

} // namespace lb
