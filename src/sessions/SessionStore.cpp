#include "sessions/SessionStore.h"

#include "common/AsciiText.h"
#include "common/Dialogs.h"
#include "common/FileError.h"
#include "common/IndexList.h"
#include "common/Paths.h"

#include <QFile>

namespace lb {

static const QString ListSection = QStringLiteral("List");

SessionStore::SessionStore(QString appDir, Dialogs& dialogs, QObject* parent)
    : QObject(parent), m_appDir(std::move(appDir)), m_dialogs(dialogs) {}

QString SessionStore::indexPath() const {
    return appPath(m_appDir, QStringLiteral("\\data\\session\\session.hlx"));
}

QString SessionStore::sessionPath(const QString& name) const {
    return appPath(m_appDir, QStringLiteral("\\data\\session\\") + name + QStringLiteral(".hlx"));
}

int SessionStore::selectedRow() const {
    const QModelIndex cur = m_sesSel.currentIndex();
    if (cur.isValid() && m_sesSel.isSelected(cur))
        return cur.row();
    const QModelIndexList rows = m_sesSel.selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void SessionStore::setEditor(const SessionRecord& record) {
    m_editor = record;
    emit editorChanged();
}

void SessionStore::setEditorField(int field, const QString& value) {
    if (field < 0 || field >= SessionRecord::FieldCount || m_editor[field] == value)
        return;
    m_editor[field] = value;
    emit editorChanged();
}

void SessionStore::setSessionName(const QString& name) {
    if (m_editor.name != name) {
        m_editor.name = name;
        emit editorChanged();
    }
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        m_dialogs.inform(QStringLiteral("Sorry you can not use that char!"),
                         QStringLiteral("Char not allowd"));
}

// A name becomes a file name under "data/session": one that would lead out of
// that folder is refused before anything is written or deleted. A name to be
// saved is also the section name inside its file, which a line end or a
// bracket would break, and must fit a file name (255 bytes with ".hlx").
bool SessionStore::refuseUnsafeName(const QString& name, bool saving) {
    constexpr qsizetype kMaxNameBytes = 200;
    const bool fitsSection =
        !saving || (!name.contains(QLatin1Char('\r')) && !name.contains(QLatin1Char('\n')) &&
                    !name.contains(QLatin1Char('[')) && !name.contains(QLatin1Char(']')) &&
                    name.toUtf8().size() <= kMaxNameBytes);
    if (isSafeFileName(name) && fitsSection)
        return false;
    m_dialogs.inform(QStringLiteral("Sorry you can not use that char!"),
                     QStringLiteral("Char not allowd"));
    return true;
}

void SessionStore::readIndex() {
    const IniFile index(indexPath());
    m_sesList.setNames(readIndexList(index, ListSection));
    refreshSesList2();
}

void SessionStore::refreshSesList2() {
    m_sesList2.setNames(m_sesList.names());
}

void SessionStore::writeSessionFile(const SessionRecord& record) {
    IniFile file(sessionPath(record.name));
    const QStringList& keys = sessionKeys();
    QList<IniFile::Write> writes;
    for (int f = 0; f < SessionRecord::FieldCount; ++f)
        writes.append({record.name, keys.at(f), record[f]});
    file.writeStrings(writes);
}

void SessionStore::rewriteIndex() {
    IniFile index(indexPath());
    QList<IniFile::Write> writes;
    for (int i = 0; i < m_sesList.count(); ++i) {
        writes.append({QStringLiteral("Session"), QStringLiteral("Count"), QString::number(i)});
        writes.append({ListSection, QString::number(i), m_sesList.at(i)});
    }
    index.writeStrings(writes, ListSection);
}

bool SessionStore::addEdit() {
    const QString name = m_editor.name;
    const QString upper = asciiUpper(name);
    if (upper == QLatin1String("LIST") || upper == QLatin1String("SESSION")) {
        m_dialogs.inform(QStringLiteral("Sorry that name is being used by this program"),
                         QStringLiteral("Invalid Session Name"));
        return false;
    }
    if (name.isEmpty()) {
        m_dialogs.inform(QStringLiteral("You have no Session_Name to save."),
                         QStringLiteral("No Session Name"));
        return false;
    }
    if (refuseUnsafeName(name, true))
        return false;
    try {
        const IniFile index(indexPath());
        bool found = false;
        for (int i = 0; i < m_sesList.count() && !found; ++i)
            found = index.readString(ListSection, QString::number(i)) == name;
        if (found) {
            if (!m_dialogs.askYesNo(
                    QStringLiteral("Session name already exists.\nDo you wish to modify it  ?"),
                    QStringLiteral("Modify Session Name")))
                return false;
        } else {
            m_sesList.add(name);
        }
        writeSessionFile(m_editor);
        rewriteIndex();
        refreshSesList2();
    } catch (const FileError& e) {
        m_dialogs.showError(e.message());
        return false;
    }
    return true;
}

void SessionStore::clear(bool fromSpider) {
    if (fromSpider) {
        for (int f :
             {int(SessionRecord::Url), int(SessionRecord::Title), int(SessionRecord::Description)})
            m_editor[f].clear();
        for (int k = 0; k < 16; ++k)
            m_editor[SessionRecord::Key1 + k].clear();
    } else {
        const QString name = m_editor.name; // the session name is never cleared
        m_editor = SessionRecord();
        m_editor.name = name;
    }
    emit editorChanged();
}

void SessionStore::deleteSelected() {
    const int row = selectedRow();
    if (row < 0) {
        m_dialogs.inform(QStringLiteral("You have not selected an item to Delete"),
                         QStringLiteral("No Item"));
        return;
    }
    const QString name = m_sesList.at(row);
    if (refuseUnsafeName(name))
        return;
    try {
        IniFile index(indexPath());
        index.eraseSection(ListSection);
        const int next = (row == m_sesList.count() - 1) ? row - 1 : row;
        QFile::remove(sessionPath(name));
        m_sesList.removeAt(row);
        if (!m_sesList.isEmpty() && next >= 0)
            m_sesSel.setCurrentIndex(m_sesList.index(next, 0), QItemSelectionModel::ClearAndSelect);
        rewriteIndex();
        refreshSesList2();
    } catch (const FileError& e) {
        m_dialogs.showError(e.message());
        return;
    }
    clear(false);
    if (!m_sesList.isEmpty())
        select(selectedRow());
}

void SessionStore::select(int row) {
    if (row < 0 || row >= m_sesList.count())
        return;
    m_sesSel.setCurrentIndex(m_sesList.index(row, 0), QItemSelectionModel::ClearAndSelect);
    emit siteDescriptionRequested();
    const QString name = m_sesList.at(row);
    SessionRecord record = readSession(m_appDir, name);
    record.name = name;
    setEditor(record);
}

SessionRecord SessionStore::readSession(const QString& appDir, const QString& name) {
    SessionRecord record;
    record.name = name;
    if (!isSafeFileName(name))
        return record; // never read outside the session folder
    const IniFile file(
        appPath(appDir, QStringLiteral("\\data\\session\\") + name + QStringLiteral(".hlx")));
    const QStringList& keys = sessionKeys();
    for (int f = 0; f < SessionRecord::FieldCount; ++f)
        record[f] = file.readString(name, keys.at(f));
    return record;
}

} // namespace lb
