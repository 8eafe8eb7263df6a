#pragma once
// The options window's profiles: the settings panel bound to the store
// program folder + "\setting.set" by name ("Custom List"). The window and
// the command line both drive this; it asks and informs through Dialogs and
// throws EQDBError for the store's own failures.
#include "liststore/QDBView.h"

#include <QStringList>

namespace lb {

class Dialogs;

class CrawlerProfiles {
public:
    explicit CrawlerProfiles(Dialogs& dialogs);

    // The panel's controls in panel order (see optionControls()).
    void bindPanel(const QList<QDBControl*>& controls);
    TQDBView& view() { return m_view; }
    const TQDBView& view() const { return m_view; }

    static QString storeFile(const QString& appDir);
    // Assigns the store file and fetches the profile "default" when present.
    void open(const QString& appDir);
    bool isOpen() const { return m_view.isOpen(); }

    // Profile names in the store's order (no signature items, no switches).
    QStringList profileNames() const;
    bool exists(const QString& name) const;
    // The profile shown in the panel, empty when none.
    const QString& currentName() const { return m_current; }

    // Fetches NAME into the panel when it exists.
    bool select(const QString& name);
    void newProfile();
    void editProfile();
    void cancel();
    // The Save button with the name box's text: asks before overwriting
    // "default", refuses an empty name, then stores the pending (or, with
    // nothing pending, the shown) values under NAME, writes the file and
    // fetches the profile again. False when the user declined or no name.
    bool save(const QString& nameBoxText);
    // Deletes the current profile and writes the file; the cursor's item
    // (when it is a profile) becomes current and is fetched.
    void deleteCurrent();

    static const QString DefaultName;

private:
    Dialogs& m_dialogs;
    TQDBView m_view;
    QString m_key;
    QString m_current;
};

} // namespace lb
