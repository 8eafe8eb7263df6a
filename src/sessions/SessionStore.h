#pragma once
// The saved sessions of "Step1 Site Info": the session editor's contents, the
// index file "\data\session\session.hlx" (section "List" by the index-list
// convention, "Session"/"Count" beside it), SesList and its copy SesList2.
// Widgets bind to the models and forward clicks; messages go through Dialogs.
#include "common/IniFile.h"
#include "common/NameListModel.h"
#include "sessions/SessionRecord.h"

#include <QItemSelectionModel>
#include <QObject>

namespace lb {

class Dialogs;

class SessionStore : public QObject {
    Q_OBJECT
public:
    SessionStore(QString appDir, Dialogs& dialogs, QObject* parent = nullptr);

    QString indexPath() const;
    QString sessionPath(const QString& name) const;

    NameListModel& sesList() { return m_sesList; }
    NameListModel& sesList2() { return m_sesList2; }
    QItemSelectionModel& sesListSelection() { return m_sesSel; }
    int selectedRow() const; // -1 for none

    // The editor (Session_Name and the 32 fields).
    const SessionRecord& editor() const { return m_editor; }
    void setEditor(const SessionRecord& record);
    void setEditorField(int field, const QString& value);
    // Session_Name changed: refuses "/" and "\" with a message, keeps the text.
    void setSessionName(const QString& name);

    // Start-up: SesList from section "List" of the index; SesList2 a copy.
    void readIndex();
    // "Add/Edit". Returns true when the session was written.
    bool addEdit();
    // "Clear": the spider keeps the contact fields and the category.
    void clear(bool fromSpider = false);
    void deleteSelected();
    // A click in SesList: load that session into the editor.
    void select(int row);

    // Reads a session by name; a missing file or key reads as empty.
    static SessionRecord readSession(const QString& appDir, const QString& name);

signals:
    void editorChanged();
    // The editor should show its "Step1/2  Site Description" sheet.
    void siteDescriptionRequested();

private:
    // saving: the name is about to be written, as a file name and as the
    // section of that file.
    bool refuseUnsafeName(const QString& name, bool saving = false);
    void writeSessionFile(const SessionRecord& record);
    void rewriteIndex();
    void refreshSesList2();

    QString m_appDir;
    Dialogs& m_dialogs;
    NameListModel m_sesList{false};
    NameListModel m_sesList2{false};
    QItemSelectionModel m_sesSel{&m_sesList};
    SessionRecord m_editor;
};

} // namespace lb
