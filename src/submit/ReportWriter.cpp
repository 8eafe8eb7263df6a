#include "submit/ReportWriter.h"

#include "common/FileError.h"
#include "common/LineSplitter.h"
#include "common/Paths.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

#include <optional>
#include <utility>

namespace lb {

namespace {

// The locale's long time format carries a time-zone token that the program's
// time stamps never showed; drop it (outside quoted text) with its blanks.
QString timeFormatWithoutZone(const QLocale& locale) {
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        out.append(c);
    }
    return out.simplified();
}

QString cannotCreate(const QString& path, const QString& reason) {
    return QStringLiteral("Cannot create file ") + QDir::toNativeSeparators(path) +
           QStringLiteral(". ") + reason;
}

// Text from a server or a user field shown as text, never as markup.
QString esc(const QString& text) {
    return text.toHtmlEscaped();
}

} // namespace

QString reportTimeStamp(const QDateTime& when, const QLocale& locale) {
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(when.time(), timeFormatWithoutZone(locale));
}

QString reportTimeStamp(const QDateTime& when) {
    return reportTimeStamp(when, QLocale::system());
}

namespace report {

QStringList headerLines(const QString& appTitle) {
    return {QStringLiteral("<title>") + appTitle + QStringLiteral("</title>"),
            QStringLiteral("<body bgcolor=\"#ffffff\">"),
            QStringLiteral("<h3><Center><font color=\"blue\">") + appTitle +
                QStringLiteral("</font></center></h3>"),
            QStringLiteral("<center><b>Submission Software</b></center>")};
}

QString sessionHeading(const QString& sessionName, const QString& sessionUrl) {
    return QStringLiteral("<center><b>Submission report for <font color=\"#0000FF\">") +
           esc(sessionName) + QStringLiteral(": </b>") + esc(sessionUrl) +
           QStringLiteral("</font></center>");
}

QString requestLine(const QString& timeStamp, const QString& engineSiteName,
                    const QString& statusText) {
    return QStringLiteral("<br>") + timeStamp + QStringLiteral(": ") + esc(engineSiteName) +
           QStringLiteral(" Status: ") + esc(statusText);
}

QStringList footerLines(const QString& appTitle) {
    return {QStringLiteral("<hr>Thank you for using ") + appTitle,
            QStringLiteral("</body></html>")};
}

QString batchStart() {
    return QStringLiteral("<b><font color=\"#0000FF\">Starting Batch Submission</font></b>");
}

QString batchContacting(const QString& host) {
    return QStringLiteral("<hr><font color=\"#008000\"><b> Contacting </b></font>") + esc(host) +
           QStringLiteral("<br>");
}

QString batchGettingInfo(const QString& host) {
    return QStringLiteral("<center><b>Getting current batch information from : </b><font "
                          "color=\"#0000FF\">") +
           esc(host) + QStringLiteral("</font></center><br>");
}

QStringList batchSiteResult(const QString& siteHost, bool failed) {
    const QString host = esc(siteHost);
    if (failed)
        return {QStringLiteral("<br><br>Submission to all ") + host +
                    QStringLiteral(" pages <font color=\"#FF0000\"> failed.</font>"),
                QStringLiteral("<br><font color=\"#0000FF\">") + host +
                    QStringLiteral("</font> Server may be busy or down for maintenance.")};
    return {QStringLiteral("<br><br>Submission to all <font color=\"#0000FF\">") + host +
            QStringLiteral("</font> pages <font color=\"#0000FF\">succeeded.</font>")};
}

QString batchTimeOfSubmission(const QString& timeStamp) {
    return QStringLiteral("<br>Time of submission was: ") + timeStamp;
}

QString batchSiteCount(int batchSiteCount) {
    return QStringLiteral("<br>There are currently ") + QString::number(batchSiteCount) +
           QStringLiteral(" sites submitted in this batch");
}

QString batchFinished() {
    return QStringLiteral("<br><b><center>Finished batch submissions</b></center>");
}

QString batchTotalCount(int batchPageCount) {
    return QStringLiteral("<br>There are currently ") + QString::number(batchPageCount) +
           QStringLiteral(" sites submitted to in all batches");
}

QString databaseStart() {
    return QStringLiteral("<hr><br><b><center><font color=\"#0000FF\"> Starting database "
                          "submissions</font></center></b>");
}

} // namespace report

QString reportFilePath(const QString& appDir, const QString& sessionName) {
    return appPath(appDir, QStringLiteral("\\reports\\") + sessionName + QStringLiteral(".htm"));
}

namespace {

// Written beside the old file and renamed over it, so a failed write never
// leaves half a report.
void writeReportFile(const QString& path, const QString& sessionName, const QByteArray& bytes) {
    if (!isSafeFileName(sessionName))
        throw FileError(cannotCreate(path, QStringLiteral("The file name is not valid.")));
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        throw FileError(cannotCreate(path, QStringLiteral("The folder ") +
                                               QDir::toNativeSeparators(folder) +
                                               QStringLiteral(" cannot be created.")));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw FileError(cannotCreate(path, file.errorString()));
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw FileError(cannotCreate(path, file.errorString()));
}

} // namespace

QString csvReportFilePath(const QString& appDir, const QString& sessionName) {
    return appPath(appDir, QStringLiteral("\\reports\\") + sessionName + QStringLiteral(".csv"));
}

QString csvField(const QString& text) {
    // A cell a spreadsheet would take as a formula starts with an apostrophe.
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    const QString value =
        !text.isEmpty() && formulaStarts.contains(text.front()) ? QLatin1Char('\'') + text : text;
    if (!value.contains(QLatin1Char(',')) && !value.contains(QLatin1Char('"')) &&
        !value.contains(QLatin1Char('\r')) && !value.contains(QLatin1Char('\n')))
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString csvRow(const QDateTime& when, const QString& engineSiteName, const QString& address,
               const QString& statusText) {
    return csvField(when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))) + QLatin1Char(',') +
           csvField(engineSiteName) + QLatin1Char(',') + csvField(address) + QLatin1Char(',') +
           csvField(statusText) + QLatin1Char(',') +
           (statusText == QLatin1String("OK") ? QStringLiteral("yes") : QStringLiteral("no"));
}

void writeCsvReport(const QString& appDir, const QString& sessionName, const QStringList& rows) {
    QByteArray bytes("\xEF\xBB\xBFTime,Engine,Address,Result,Success\r\n");
    for (const QString& row : rows) {
        bytes += row.toUtf8();
        bytes += "\r\n";
    }
    writeReportFile(csvReportFilePath(appDir, sessionName), sessionName, bytes);
}

void writeReport(const QString& appDir, const QString& sessionName, const QStringList& lines) {
    writeReportFile(reportFilePath(appDir, sessionName), sessionName, joinLinesCrLf(lines));
}

ReportWriter::ReportWriter(const QString& appDir, bool generateReports, const QString& appTitle)
    : m_appDir(appDir), m_appTitle(appTitle),
      m_enabled([generateReports] { return generateReports; }) {
    restart();
}

ReportWriter::ReportWriter(const QString& appDir, std::function<bool()> generateReports,
                           const QString& appTitle)
    : m_appDir(appDir), m_appTitle(appTitle), m_enabled(std::move(generateReports)),
      m_headerAlways(true) {
    restart();
}

void ReportWriter::restart() {
    m_lines.clear();
    m_csvRows.clear();
    if (m_headerAlways || m_enabled())
        m_lines = report::headerLines(m_appTitle);
}

void ReportWriter::addSessionHeading(const QString& sessionName, const QString& sessionUrl) {
    add(report::sessionHeading(sessionName, sessionUrl));
}

void ReportWriter::addRequestResult(const QString& engineSiteName, const QString& statusText,
                                    const QDateTime& when, const QString& address) {
    if (!m_enabled())
        return;
    m_lines.append(report::requestLine(reportTimeStamp(when), engineSiteName, statusText));
    if (m_writeCsv)
        m_csvRows.append(csvRow(when, engineSiteName, address, statusText));
}

void ReportWriter::add(const QString& line) {
    if (m_enabled())
        m_lines.append(line);
}

void ReportWriter::add(const QStringList& lines) {
    if (m_enabled())
        m_lines.append(lines);
}

QString ReportWriter::endSession(const QString& sessionName) {
    if (!m_enabled())
        return QString();
    QStringList finished = m_lines;
    finished.append(report::footerLines(m_appTitle));
    m_lines = report::headerLines(m_appTitle);
    const QStringList rows = std::exchange(m_csvRows, {});
    std::optional<FileError> failed;
    try {
        writeReport(m_appDir, sessionName, finished);
    } catch (const FileError& e) {
        failed = e;
    }
    if (m_writeCsv) {
        try {
            writeCsvReport(m_appDir, sessionName, rows);
        } catch (const FileError& e) {
            if (!failed)
                failed = e;
        }
    }
    if (failed)
        throw *failed;
    return reportFilePath(m_appDir, sessionName);
}

} // namespace lb
