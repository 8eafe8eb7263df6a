// The batch pass: before a session's engine requests, the session is posted
// once to each batch site of "\data\batch.hlx", and the pages each site covers
// are counted as submitted.
#include "common/IniFile.h"
#include "common/Paths.h"
#include "engines/EngineFile.h"
#include "net/HttpProt.h"
#include "submit/FormEncoding.h"
#include "submit/ReportWriter.h"
#include "submit/SubmissionHost.h"
#include "submit/SubmissionRun.h"

#include <QBuffer>
#include <QDateTime>

namespace lb {

void SubmissionRun::runBatchSubmissions() {
    using S = SessionRecord;
    m_startGate = true;
    m_pauseEnabled = m_stopEnabled = false;
    emit stateChanged();

    memo(QStringLiteral("Getting batch info."));
    addReport(report::batchStart());

    const IniFile batch(appPath(m_appDir, QStringLiteral("\\data\\batch.hlx")));
    const QStringList sites = batch.readSection(QStringLiteral("batchsites"));
    m_batchPageCount = 0;
    const bool encode = m_encodeValues;

    for (const QString& site : sites) {
        m_batchSiteCount = 0;
        auto key = [&](const char* k) { return batch.readString(site, QLatin1String(k)); };
        QString proto, user, pass, host, port, path;
        net::SplitUrl(key("site"), proto, user, pass, host, port, path);

        QString body;
        auto pair = [&body, encode](const QString& name, const QString& value) {
            if (!name.isEmpty())
                body += QLatin1Char('&') + name + QLatin1Char('=') + (encode ? formEncode(value) : value);
        };
        pair(key("title"), m_session[S::Title]);
        pair(key("url"), m_session[S::Url]);
        pair(key("catagory"), m_host.categoryValue(key("cattype"), m_session[S::Category]));
        pair(key("email"), m_session[S::Email]);
        pair(key("description"), m_session[S::Description]);
        if (!key("pagename").isEmpty())
            body += QStringLiteral("&pagename=") + key("pagename");

        memo(QStringLiteral("Contacting: ") + host);
        addReport(report::batchContacting(host));

        bool headerSeen = false;
        if (net::THttpCli* http = m_host.batchClient()) {
            QBuffer stream;
            stream.setData(body.toUtf8());
            stream.open(QIODevice::ReadOnly);
            http->SendStream = &stream;
            http->URL = key("cgiur");
            http->OnHeaderEnd = [this, &headerSeen](net::THttpCli* sender) {
                headerSeen = true;
                m_batchStatusCode = sender->StatusCode();
                sender->Abort();
            };
            try {
                http->Post();
            } catch (const std::exception&) {
                // The status line is all that counts; it was taken above.
            }
            http->OnHeaderEnd = nullptr;
            http->SendStream = nullptr;
        }
        if (!headerSeen) {
            memo(QStringLiteral(" Cant Find Host"));
            m_batchStatusCode = 404;
        }

        memo(QStringLiteral(" "));
        memo(QStringLiteral("Getting current batch information from : ") + host);
        memo(QStringLiteral(" "));
        addReport(report::batchGettingInfo(host));

        // A missing or unreadable page list counts as no pages.
        QStringList pages;
        if (isSafeFileName(site)) {
            try {
                LoadEngineFile(
                    appPath(m_appDir, QStringLiteral("\\data\\") + site + QStringLiteral(".hlz")),
                    pages);
            } catch (const std::exception&) {
                pages.clear();
            }
        }
        const bool failed = m_batchStatusCode >= 404;
        for (const QString& line : std::as_const(pages)) {
            ++m_batchPageCount;
            ++m_batchSiteCount;
            m_counters.submitted = m_batchPageCount;
            ++m_counters.postingTo;
            if (failed) {
                ++m_counters.failed;
                m_counters.bar[3] = m_counters.failed;
            } else {
                ++m_counters.successful;
                m_counters.bar[2] = m_counters.successful;
            }
            m_host.processEvents();
            memo(line);
            m_counters.bar[0] = m_counters.bar[1] = m_batchPageCount;
            emit countersChanged();
        }

        if (failed) {
            memo(QStringLiteral("Submission to all ") + host + QStringLiteral(" pages failed."));
            memo(host + QStringLiteral(" Server may be busy or down for maintenance."));
        } else {
            memo(QStringLiteral("Submission to all ") + host + QStringLiteral(" pages succeeded."));
        }
        for (const QString& l : report::batchSiteResult(host, failed))
            addReport(l);
        addReport(report::batchTimeOfSubmission(reportTimeStamp(QDateTime::currentDateTime())));
        memo(QStringLiteral("There are currently ") + QString::number(m_batchSiteCount) +
             QStringLiteral(" sites submitted in this batch"));
        addReport(report::batchSiteCount(m_batchSiteCount));
    }

    memo(QStringLiteral(" "));
    memo(QStringLiteral("Finished batch submissions"));
    addReport(report::batchFinished());
    memo(QStringLiteral("There are currently ") + QString::number(m_batchPageCount) +
         QStringLiteral(" sites submitted to in all batches"));
    addReport(report::batchTotalCount(m_batchPageCount));
    memo(QStringLiteral(" "));
    memo(QStringLiteral("Starting database submissions"));
    addReport(report::databaseStart());

    m_pauseEnabled = m_stopEnabled = true;
    m_batchStatusCode = 0;
    emit stateChanged();
}

} // namespace lb
