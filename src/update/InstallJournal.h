#pragma once
// Moves a staged update into the data folder so that, whenever the process
// dies, recovery leaves the folder holding exactly the old files or exactly
// the new ones.
//
// Before the first move a journal in the data folder names every move (the
// staged file to its place, the old file to a backup beside it) and every
// folder the install creates; the staged files and folders are on disk by
// then. Once every staged file is in place the journal is marked committed;
// then the backups, the staging folder and the other leftovers go, and the
// journal last. Recovery finishes a committed journal and rolls back any
// other, and removes what an install that died before its journal left.
#include <QString>
#include <QStringList>

namespace lb {

class InstallJournal {
public:
    enum class Recovery { Nothing, Finished, RolledBack };

    // Staging folders live directly in the data folder under names starting
    // with this, so a move into place is a rename on one file system.
    static constexpr const char* StagingPrefix = ".update-";
    static constexpr const char* JournalName = ".install-journal";

    // Moves everything under staging (a folder directly inside dataDir) into
    // dataDir, replacing files of the same names and merging into existing
    // folders; afterwards removes the staging folder and the leftovers (file
    // names inside dataDir). Throws FileError; data/ is then as it was.
    static void install(const QString& dataDir, const QString& staging,
                        const QStringList& leftovers);

    // Finishes or rolls back an interrupted install. Without a journal,
    // stale staging folders and the leftovers are removed (a roll-back when
    // there were any). Throws FileError when a file cannot be put back.
    static Recovery recover(const QString& dataDir, const QStringList& leftovers);
};

// An exclusive hold on the data folder for the length of an update, so a
// program started meanwhile does not take the running install for an
// interrupted one. The system drops it when the process dies.
class DataFolderLock {
public:
    explicit DataFolderLock(const QString& dataDir);
    ~DataFolderLock();
    DataFolderLock(const DataFolderLock&) = delete;
    DataFolderLock& operator=(const DataFolderLock&) = delete;

    // False when another process holds the folder (a missing folder is free).
    bool held() const { return m_held; }

private:
    int m_fd = -1;
    bool m_held = false;
};

} // namespace lb
