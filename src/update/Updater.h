#pragma once
// The database update behind "DB Update": download the update archive with
// the main window's HttpCli2, test it with RAR1, unpack it, encipher the
// files its "un.pac" lists and offer to load the new database.
//
// The install is all or nothing: the archive is unpacked into a staging
// folder inside data/, the listed files are enciphered there, and only when
// every step succeeded are the staged files moved into data/ under an
// install journal (InstallJournal.h), so that even a crash leaves, after
// recovery, exactly the old files or exactly the new ones.
//
// When data/update.pub holds trusted keys, the archive must carry an Ed25519
// signature by one of them (URL + ".sig"); downloads stop at MaxBytes and
// after Timeout seconds without a byte (section "Update" of zkt.ini).
//
// The window binds to the state here (status text, button states, progress,
// visibility); the command line prints the status texts as they come.
#include "update/InstallJournal.h"

#include <QObject>
#include <QString>

#include <functional>

class QIODevice;

namespace lb {

namespace net {
class THttpCli;
}
class Dialogs;
class TRAR;

class Updater : public QObject {
    Q_OBJECT
public:
    enum class Outcome { Complete, NoUpdate, Corrupted, FileFailed, Untrusted, Busy };

    Updater(QString appDir, net::THttpCli& client, TRAR& rar, Dialogs& dialogs,
            QObject* parent = nullptr);

    static constexpr const char* DefaultHost = "127.0.0.1:8642";
    static constexpr const char* ArchivePath = "/halcyon/en-kestrel.hlz";
    // Key "Host" of section "Update" in zkt.ini, else DefaultHost.
    static QString configuredHost(const QString& appDir);

    // Keys "MaxBytes" (body bytes) and "Timeout" (seconds without a byte)
    // of section "Update"; a missing or unusable value gives the default.
    static constexpr qint64 DefaultMaxBytes = 268435456;
    static constexpr int DefaultTimeout = 60;
    struct Limits {
        qint64 maxBytes = DefaultMaxBytes;
        int timeoutSeconds = DefaultTimeout;
    };
    static Limits configuredLimits(const QString& appDir);

    // Finishes or rolls back an install the program died in (nothing while
    // another process is updating). Throws FileError.
    static InstallJournal::Recovery recoverInstall(const QString& appDir);

    // HOST[:PORT] of the update server.
    QString host = QString::fromLatin1(DefaultHost);
    // Runs when the user answers Yes to loading the new database.
    std::function<void()> loadDatabase;

    Outcome UpdateButtonClick();
    void UpdateAbortClick();

    // --- state the window shows ---
    const QString& status() const { return m_status; } // InfoLabel
    bool updateEnabled() const { return m_updateEnabled; }
    bool cancelEnabled() const { return m_cancelEnabled; }
    bool windowVisible() const { return m_windowVisible; }
    bool progressVisible() const { return m_progressVisible; }
    qint64 progressMaximum() const { return m_progressMax; }
    qint64 progressPosition() const { return m_progressPos; }

signals:
    void changed();
    // Every text put into the status label, in order (also repeats).
    void statusShown(const QString& text);

private:
    enum class Fetch { Done, Failed, TooLarge, Silent };
    // A synchronous GET into sink within the limits.
    Fetch fetch(const QString& url, QIODevice& sink, qint64 maxBytes, int timeoutSeconds);
    // True when no key file exists or the archive's signature is good.
    bool signatureTrusted(const QString& archive, const QString& url, int timeoutSeconds);
    void setStatus(const QString& text);
    void setButtons(bool updateOn, bool cancelOn);
    void install(const QString& staging); // throws FileError
    QString dataPath(const QString& name) const;

    QString m_appDir;
    net::THttpCli& m_client;
    TRAR& m_rar;
    Dialogs& m_dialogs;
    bool m_running = false;

    QString m_status = QStringLiteral("Status:");
    bool m_updateEnabled = true;
    bool m_cancelEnabled = false;
    bool m_windowVisible = false;
    bool m_progressVisible = false;
    qint64 m_progressMax = 100;
    qint64 m_progressPos = 0;
};

// Enciphers a whole file in place with the engine file cipher, streaming
// (the key starts afresh). Throws FileError naming shownPath.
void encipherFileInPlace(const QString& path, const QString& shownPath);

} // namespace lb
