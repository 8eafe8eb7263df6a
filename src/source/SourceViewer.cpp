#include "source/SourceViewer.h"

#include "common/AsciiText.h"
#include "common/Dialogs.h"
#include "common/LineSplitter.h"
#include "common/ProxySettings.h"
#include "net/HttpLimits.h"

#include <QBuffer>

namespace lb {

SourceViewer::SourceViewer(Dialogs& dialogs, QObject* parent)
    : QObject(parent), m_dialogs(dialogs) {
    m_http.setObjectName(QStringLiteral("HttpGet"));
    m_http.Agent = QStringLiteral("Mozilla/3.0 (compatible)");
    m_http.OnCommand = [this](net::THttpCli*, QString&) {
        setStatus(QStringLiteral("Connected..."));
    };
    m_http.OnDocData = [this](net::THttpCli* c, const char*, int) {
        // A page without end stops here, as if aborted; what arrived is shown.
        if (c->ReceivedCount() > net::limits::kMaxPageBytes) {
            c->Abort();
            return;
        }
        setStatus(QStringLiteral("Loading Source (") + QString::number(c->ReceivedCount()) +
                  QLatin1Char(')'));
    };
    m_http.OnRequestDone = [this](net::THttpCli* c, net::THttpRequest, quint16) {
        setStatus(QStringLiteral("Done..") + c->ReasonPhrase());
    };
}

void SourceViewer::applyProxy(const ProxySettings& proxy) {
    if (!proxy.behindProxy)
        return;
    m_http.Proxy = proxy.host;
    m_http.ProxyPort = proxy.port;
    m_http.ProxyUsername = proxy.userName;
    m_http.ProxyPassword = proxy.password;
}

void SourceViewer::setStatus(const QString& text) {
    m_status = text;
    emit changed();
}

void SourceViewer::open(const QString& siteName, const QString& siteUrl) {
    // A second press while the page is still coming is not taken.
    if (m_busy)
        return;
    m_lines.clear();
    emit sourceChanged();
    m_label = siteName;
    m_http.URL = siteUrl;
    setStatus(QStringLiteral("Contacting.. ") + siteName);
    GetSource();
}

void SourceViewer::GetSource() {
    if (m_busy)
        return;
    m_busy = true;
    m_abortEnabled = true;
    emit changed();
    QBuffer stream;
    stream.open(QIODevice::ReadWrite);
    m_http.ReceiveStream = &stream;
    QString error;
    bool failed = false;
    try {
        m_http.Get();
    } catch (const net::EHttpException& e) {
        failed = true;
        error = e.message();
    }
    m_http.ReceiveStream = nullptr;
    // What arrived is shown in every case, before any error box.
    m_lines = splitLines(decodeText(stream.data()));
    emit sourceChanged();
    m_abortEnabled = false;
    m_busy = false;
    emit changed();
    if (failed)
        m_dialogs.showError(error);
}

void SourceViewer::AbortClick() {
    m_http.Abort();
}

} // namespace lb
