#pragma once
// The HTML report of one submitted session: the lines the submission run and
// the batch pass collect, and the file "reports/" + session name + ".htm"
// they end up in (CR LF line ends, UTF-8).
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

namespace lb {

// The application title the report header and footer name.
inline constexpr char kReportAppTitle[] = "Linkbeacon";

// Date and time as the reports and the clock show them: the locale's short
// date, a blank, the locale's long time (without a time zone).
QString reportTimeStamp(const QDateTime& when, const QLocale& locale);
QString reportTimeStamp(const QDateTime& when); // system locale

// One function per line (or group of lines) of a report.
namespace report {

QStringList headerLines(const QString& appTitle = QString::fromLatin1(kReportAppTitle));
QString sessionHeading(const QString& sessionName, const QString& sessionUrl);
// One finished engine request.
QString requestLine(const QString& timeStamp, const QString& engineSiteName,
                    const QString& statusText);
QStringList footerLines(const QString& appTitle = QString::fromLatin1(kReportAppTitle));

// The batch pass, in the order it adds them.
QString batchStart();
QString batchContacting(const QString& host);
QString batchGettingInfo(const QString& host);
// Two lines when the site failed (status 404 or more), one when it succeeded.
QStringList batchSiteResult(const QString& host, bool failed);
QString batchTimeOfSubmission(const QString& timeStamp);
QString batchSiteCount(int batchSiteCount);
QString batchFinished();
QString batchTotalCount(int batchPageCount);
QString databaseStart();

} // namespace report

// The CSV report beside the HTML one, for spreadsheets: UTF-8 with a byte
// order mark, CR LF after every line, the header
// "Time,Engine,Address,Result,Success", then one row per engine request.
QString csvReportFilePath(const QString& appDir, const QString& sessionName);
QString csvField(const QString& value); // quoted only when it must be
QString csvRow(const QDateTime& when, const QString& engineSiteName, const QString& address,
               const QString& statusText);
void writeCsvReport(const QString& appDir, const QString& sessionName, const QStringList& rows);

// Full path of a session's report under the program folder.
QString reportFilePath(const QString& appDir, const QString& sessionName);

// Writes the lines to AppDir + "/reports/" + session name + ".htm", replacing
// any earlier report of that session; the folder is created when missing.
// Throws FileError ("Cannot create file " + path + ". " + the system's reason)
// when the name would leave the folder or the file cannot be written; an
// existing report is then left as it was.
void writeReport(const QString& appDir, const QString& sessionName, const QStringList& lines);

// The ReportLines of a run: starts with the header, collects the lines of
// one session, and at the session end adds the footer, writes the file and
// starts over with a fresh header. When reports are off nothing is collected
// and nothing is written.
class ReportWriter {
public:
    ReportWriter(const QString& appDir, bool generateReports,
                 const QString& appTitle = QString::fromLatin1(kReportAppTitle));
    // Asks `generateReports` at every line and at the session end (a check
    // box that may change during a run). The lines start with the header
    // whatever it answers, so a report switched on later is still whole.
    ReportWriter(const QString& appDir, std::function<bool()> generateReports,
                 const QString& appTitle = QString::fromLatin1(kReportAppTitle));

    bool enabled() const { return m_enabled(); }
    const QStringList& lines() const { return m_lines; }
    // A new run: the header alone (when reports are on, or always with a
    // changing switch). clear(): nothing at all, as after a run.
    void restart();
    void clear() { m_lines.clear(); }

    void addSessionHeading(const QString& sessionName, const QString& sessionUrl);
    // address: the request's URL as started, for the CSV beside the report.
    void addRequestResult(const QString& engineSiteName, const QString& statusText,
                          const QDateTime& when = QDateTime::currentDateTime(),
                          const QString& address = QString());
    // Whether endSession also writes the CSV report (on by default).
    void setWriteCsv(bool write) { m_writeCsv = write; }
    const QStringList& csvRows() const { return m_csvRows; }
    // Lines built by the report:: functions (the batch pass uses these).
    void add(const QString& line);
    void add(const QStringList& lines);

    // Footer, write (the HTML report, then its CSV), restart. Returns the
    // path of the HTML report (empty when reports are off). The lines are
    // reset even when writing fails, so the run goes on with the next
    // session; the first FileError is then rethrown.
    QString endSession(const QString& sessionName);

private:
    QString m_appDir;
    QString m_appTitle;
    std::function<bool()> m_enabled;
    bool m_headerAlways = false;
    QStringList m_lines;
    QStringList m_csvRows;
    bool m_writeCsv = true;
};

} // namespace lb
