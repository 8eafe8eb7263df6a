#pragma once
// The page-source viewer's logic: fetches the submission page of the engine
// on show with a synchronous GET (events keep running meanwhile, so Abort
// works), keeps the status texts, and hands over what arrived as lines, also
// when the request failed; then the failure goes to the error box.
#include "net/HttpProt.h"

#include <QObject>
#include <QStringList>

namespace lb {

class Dialogs;
struct ProxySettings;

class SourceViewer : public QObject {
    Q_OBJECT
public:
    explicit SourceViewer(Dialogs& dialogs, QObject* parent = nullptr);

    net::THttpCli& HttpGet() { return m_http; }
    // The main window's proxy, when it is switched on.
    void applyProxy(const ProxySettings& proxy);

    // VSourceClick: the engine's site name and the address of its page.
    void open(const QString& siteName, const QString& siteUrl);
    // The synchronous fetch into the source lines.
    void GetSource();
    void AbortClick();

    bool busy() const { return m_busy; }
    bool abortEnabled() const { return m_abortEnabled; }
    const QString& siteLabel() const { return m_label; } // Label2
    const QString& status() const { return m_status; }   // second status panel
    const QStringList& sourceLines() const { return m_lines; }

signals:
    void changed();       // status, label or Abort changed
    void sourceChanged(); // the lines were emptied or loaded

private:
    void setStatus(const QString& text);

    Dialogs& m_dialogs;
    net::THttpCli m_http;
    bool m_busy = false;
    bool m_abortEnabled = false;
    QString m_label;
    QString m_status;
    QStringList m_lines;
};

} // namespace lb
