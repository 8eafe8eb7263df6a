#include "extractor/AutoExtractor.h"

#include "common/AsciiText.h"
#include "common/Dialogs.h"
#include "engines/EngineDatabase.h"
#include "extractor/FormAnalyser.h"
#include "extractor/SiteName.h"
#include "net/HttpLimits.h"
#include "net/HttpProt.h"

#include <QBuffer>
#include <QByteArrayView>
#include <QPointer>
#include <QTimer>

namespace lb {

using R = EngineRecord;

// The hosts of the two FFA networks whose forms post to each other; none
// are known, so no host is mapped.
static const QList<std::pair<QString, QString>> FfaHostPairs;

void analysePageIntoEditor(EngineDatabase& db, const QByteArray& page, const QString& pageUrl) {
    FormAnalyserInput input;
    input.pageUrl = pageUrl;
    input.engineNames = db.keyList().names();
    input.categoryTypes = db.categoryTypes();
    input.hostPairs = FfaHostPairs;
    EngineRecord editor = db.editor();
    FindUrlForms(page, input, editor);
    db.setEditorRecord(editor);
}

AutoExtractor::AutoExtractor(EngineDatabase& db, Dialogs& dialogs, net::THttpCli& http9,
                             QObject* parent)
    : QObject(parent), m_db(db), m_dialogs(dialogs), m_http9(http9), m_idle(new QTimer(this)) {
    m_idle->setSingleShot(true);
    connect(m_idle, &QTimer::timeout, this, [this] { m_http9.Abort(); });
    m_http9.OnDocData = [this](net::THttpCli*, const char* buffer, int len) {
        HTTP9DocData(buffer, len);
    };
}

AutoExtractor::~AutoExtractor() {
    m_http9.OnDocData = nullptr;
}

void AutoExtractor::setIdleTimeout(int ms) {
    m_idleMs = ms;
}

void AutoExtractor::setButtons(bool startEnabled, bool stopEnabled) {
    m_startEnabled = startEnabled;
    m_stopEnabled = stopEnabled;
    emit stateChanged();
}

void AutoExtractor::setWorking(bool on) {
    m_working = on;
    emit stateChanged();
}

void AutoExtractor::StopdaClick() {
    m_http9.Abort();
}

void AutoExtractor::HTTP9DocData(const char* buffer, int len) {
    if (m_idleMs > 0)
        m_idle->start(m_idleMs);
    const QByteArray piece = asciiUpper(QByteArray(buffer, len));
    if (piece.contains("NAME=URL") || piece.contains("NAME=\"URL"))
        m_urlFieldSeen = true;
    // Once a form with a URL field has closed the rest of the page is not needed;
    // an endless page is cut off rather than filling the memory (what
    // arrived is analysed).
    if ((m_urlFieldSeen && piece.contains("</FORM>")) ||
        m_http9.ReceivedCount() > net::limits::kMaxPageBytes)
        m_http9.Abort();
}

bool AutoExtractor::alreadyInDatabase(const QString& address) {
    QString proto, user, pass, host, port, path;
    net::SplitUrl(address, proto, user, pass, host, port, path);
    const SiteNameCandidates candidates(m_db.keyList().names(), siteStem(host));
    for (const QString& name : candidates.taken()) {
        const int row = m_db.keyList().indexOf(name);
        if (row < 0)
            continue;
        m_db.selectKeyListRow(row);
        m_db.ShowEngine();
        QString p2, u2, w2, host2, port2, path2;
        net::SplitUrl(m_db.editor()[R::SiteUrl], p2, u2, w2, host2, port2, path2);
        if (host2 + path2 == host + path)
            return true;
    }
    return false;
}

void AutoExtractor::StartdaClick(const QString& address) {
    if (m_running)
        return; // one extraction at a time
    if (address.size() < 10 || !address.contains(QLatin1Char('.'))) {
        m_outcome = Outcome::Refused;
        m_dialogs.inform(QStringLiteral("The url you have entered is invalid."),
                         QStringLiteral("Url Incomplete"));
        return;
    }
    for (const QString& page : m_db.batchList().names()) {
        if (!page.isEmpty() && address.contains(page)) {
            m_outcome = Outcome::Refused;
            m_dialogs.inform(
                QStringLiteral("This page is already included in the batch submissions."),
                QStringLiteral("Already Exists"));
            return;
        }
    }
    m_running = true;
    m_db.setNameValueValues({});
    setButtons(false, true);
    m_db.ClearEngineEditor();
    QBuffer stream;
    stream.open(QIODevice::WriteOnly);
    m_http9.URL = address;

    if (alreadyInDatabase(address)) {
        m_dialogs.inform(QStringLiteral("The site already exists in the database."),
                         QStringLiteral("Cannot add to database"));
        m_outcome = Outcome::AlreadyInDatabase;
        m_running = false;
        setButtons(true, false);
        return;
    }

    setWorking(true);
    m_db.ClearEngineEditor();
    m_urlFieldSeen = false;
    m_http9.ReceiveStream = &stream;
    if (m_idleMs > 0)
        m_idle->start(m_idleMs);
    QPointer<AutoExtractor> self(this);
    try {
        m_http9.Get();
    } catch (const std::exception&) {
        // A failed or aborted download is not reported: what arrived is analysed.
    }
    if (!self)
        return;
    m_idle->stop();
    m_http9.ReceiveStream = nullptr;

    analysePageIntoEditor(m_db, stream.data(), m_http9.URL);
    stream.close();

    const EngineRecord& e = m_db.editor();
    if (!e[R::UrlVar].isEmpty()) {
        const bool categoryUnknown = !e[R::CategoryVar].isEmpty() && e[R::CategoryType].isEmpty();
        if (!categoryUnknown &&
            m_dialogs.askYesNo(QStringLiteral("The site meets the submission requirements.\n"
                                              "Do you wish to add it  ?"),
                               QStringLiteral("Add to database")))
            m_db.addEngine();
    } else {
        m_dialogs.inform(QStringLiteral("Site did not meet the submission requirements."),
                         QStringLiteral("Requirements not met."));
        m_db.ClearEngineEditor();
    }

    setButtons(true, false);
    showRows();
    m_db.setBatchIncluded(m_db.batchIncluded());
    m_outcome = Outcome::Finished;
    m_running = false;
    setWorking(false);
}

void AutoExtractor::showRows() {
    QStringList values;
    const auto rows = m_db.nameValueRows();
    for (const auto& [caption, value] : rows)
        values.append(value);
    // The method is shown only for a record that has somewhere to post.
    const int methodRow = 20;
    if (m_db.editor()[R::CgiUrl].isEmpty())
        values[methodRow] = QString();
    m_db.setNameValueValues(values);
}

} // namespace lb
