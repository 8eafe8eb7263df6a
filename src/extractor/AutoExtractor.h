#pragma once
// The auto extractor of the "Auto Extractor" sheet: checks the address,
// refuses pages of the batch list and sites already in the database,
// downloads the page with HTTP9 (stopping once a form with a URL field has
// closed), analyses its forms into the engine editor, offers to add the
// record and shows the result in the sheet's Name/Value list.
#include "engines/EngineRecord.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <utility>

class QTimer;

namespace lb {

namespace net {
class THttpCli;
}

class Dialogs;
class EngineDatabase;

// The forms of page into the editor of db, as downloaded from pageUrl; the
// category list of the chosen type is re-read.
void analysePageIntoEditor(EngineDatabase& db, const QByteArray& page, const QString& pageUrl);

class AutoExtractor : public QObject {
    Q_OBJECT
public:
    // Where the last extraction ended.
    enum class Outcome { None, Refused, AlreadyInDatabase, Finished };

    AutoExtractor(EngineDatabase& db, Dialogs& dialogs, net::THttpCli& http9,
                  QObject* parent = nullptr);
    ~AutoExtractor() override;

    // The whole extraction of the address typed into Edit1; returns when it is
    // over, processing events while the page downloads.
    void StartdaClick(const QString& address);
    // Aborts the download in progress.
    void StopdaClick();

    bool startEnabled() const { return m_startEnabled; } // "Get"
    bool stopEnabled() const { return m_stopEnabled; }   // "Abort"
    bool working() const { return m_working; }           // the lamp is lime
    bool UrlFieldSeen() const { return m_urlFieldSeen; }
    Outcome outcome() const { return m_outcome; }

    // Without a user at an Abort button: abort when no data came for this long
    // (0, the default, waits as long as the server keeps the connection).
    void setIdleTimeout(int ms);

signals:
    void stateChanged();

private:
    void HTTP9DocData(const char* buffer, int len);
    bool alreadyInDatabase(const QString& address);
    void showRows();
    void setButtons(bool startEnabled, bool stopEnabled);
    void setWorking(bool on);

    EngineDatabase& m_db;
    Dialogs& m_dialogs;
    net::THttpCli& m_http9;
    QTimer* m_idle;
    int m_idleMs = 0;
    bool m_startEnabled = true;
    bool m_stopEnabled = false;
    bool m_working = false;
    bool m_running = false;
    bool m_urlFieldSeen = false;
    Outcome m_outcome = Outcome::None;
};

} // namespace lb
