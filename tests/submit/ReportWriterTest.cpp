#include "submit/ReportWriter.h"
#include "common/FileError.h"
#include "support/Files.h"
#include "support/Thrown.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

using lb::test::readFile;
using lb::test::writeFile;
using namespace lb;

namespace {

const char kHeader[] = "<title>Linkbeacon</title>\r\n"
                       "<body bgcolor=\"#ffffff\">\r\n"
                       "<h3><Center><font color=\"blue\">Linkbeacon</font></center></h3>\r\n"
                       "<center><b>Submission Software</b></center>\r\n";

} // namespace

TEST(ReportWriter, SmallRunWritesExactBytes) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ReportWriter writer(dir.path(), true);
    writer.addSessionHeading(QStringLiteral("mysite"), QStringLiteral("http://www.example.com/"));
    writer.add(report::batchStart());
    writer.add(report::batchContacting(QStringLiteral("batch.example")));
    writer.add(report::batchGettingInfo(QStringLiteral("batch.example")));
    writer.add(report::batchSiteResult(QStringLiteral("batch.example"), true));
    writer.add(report::batchTimeOfSubmission(QStringLiteral("1/2/03 4:05:06 AM")));
    writer.add(report::batchSiteCount(3));
    writer.add(report::batchSiteResult(QStringLiteral("ok.example"), false));
    writer.add(report::batchFinished());
    writer.add(report::batchTotalCount(40));
    writer.add(report::databaseStart());
    // Finishing order, not starting order.
    writer.add(report::requestLine(QStringLiteral("1/2/03 4:05:07 AM"), QStringLiteral("Zeta"),
                                   QStringLiteral("OK")));
    writer.add(report::requestLine(QStringLiteral("1/2/03 4:05:08 AM"), QStringLiteral("Alpha"),
                                   QStringLiteral("Not Found")));

    const QString path = writer.endSession(QStringLiteral("mysite"));
    EXPECT_EQ(path, dir.path() + "/reports/mysite.htm");

    const QByteArray expected =
        QByteArray(kHeader) +
        "<center><b>Submission report for <font color=\"#0000FF\">mysite: </b>"
        "http://www.example.com/</font></center>\r\n"
        "<b><font color=\"#0000FF\">Starting Batch Submission</font></b>\r\n"
        "<hr><font color=\"#008000\"><b> Contacting </b></font>batch.example<br>\r\n"
        "<center><b>Getting current batch information from : </b><font "
        "color=\"#0000FF\">batch.example</font></center><br>\r\n"
        "<br><br>Submission to all batch.example pages <font color=\"#FF0000\"> "
        "failed.</font>\r\n"
        "<br><font color=\"#0000FF\">batch.example</font> Server may be busy or down for "
        "maintenance.\r\n"
        "<br>Time of submission was: 1/2/03 4:05:06 AM\r\n"
        "<br>There are currently 3 sites submitted in this batch\r\n"
        "<br><br>Submission to all <font color=\"#0000FF\">ok.example</font> pages <font "
        "color=\"#0000FF\">succeeded.</font>\r\n"
        "<br><b><center>Finished batch submissions</b></center>\r\n"
        "<br>There are currently 40 sites submitted to in all batches\r\n"
        "<hr><br><b><center><font color=\"#0000FF\"> Starting database "
        "submissions</font></center></b>\r\n"
        "<br>1/2/03 4:05:07 AM: Zeta Status: OK\r\n"
        "<br>1/2/03 4:05:08 AM: Alpha Status: Not Found\r\n"
        "<hr>Thank you for using Linkbeacon\r\n"
        "</body></html>\r\n";
    EXPECT_EQ(readFile(path), expected);
}

TEST(ReportWriter, SessionSubmittedAgainOverwritesItsReport) {
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/reports");
    writeFile(dir.path() + "/reports/s.htm", QByteArray(5000, 'x'));
    writeReport(dir.path(), QStringLiteral("s"), {QStringLiteral("a")});
    EXPECT_EQ(readFile(dir.path() + "/reports/s.htm"), QByteArray("a\r\n"));
}

TEST(ReportWriter, UnwritableReportRaisesFileErrorAndRunGoesOn) {
    QTemporaryDir dir;
    writeFile(dir.path() + "/reports", {}); // a plain file where the reports folder should be

    ReportWriter writer(dir.path(), true);
    writer.addSessionHeading(QStringLiteral("s"), QStringLiteral("u"));
    const QString message =
        lb::test::thrownMessage<FileError>([&] { writer.endSession(QStringLiteral("s")); });
    EXPECT_TRUE(message.startsWith("Cannot create file " + dir.path() + "/reports/s.htm. "))
        << message.toStdString();
    EXPECT_GT(message.size(), QString("Cannot create file . ").size() + dir.path().size());
    // The next session starts clean.
    EXPECT_EQ(writer.lines(), report::headerLines());
}

TEST(ReportWriter, NamesLeadingOutOfTheFolderAreRefused) {
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/reports");
    for (const QString& name :
         {QStringLiteral("../evil"), QStringLiteral("a\\b"), QStringLiteral(".."), QString()}) {
        EXPECT_THROW(writeReport(dir.path(), name, {QStringLiteral("x")}), FileError)
            << name.toStdString();
    }
    EXPECT_FALSE(QFile::exists(dir.path() + "/evil.htm"));
}

TEST(ReportWriter, RequestResultUsesTheLocaleDateAndTime) {
    QTemporaryDir dir;
    const QDateTime when(QDate(2003, 1, 2), QTime(16, 5, 6));
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QString stamp = reportTimeStamp(when, us);
    // Short date, blank, long time; the zone the long format would add is left out.
    EXPECT_TRUE(stamp.startsWith(QStringLiteral("1/2/03 4:05:06"))) << stamp.toStdString();
    EXPECT_TRUE(stamp.endsWith(QStringLiteral("PM"))) << stamp.toStdString();
    EXPECT_EQ(reportTimeStamp(when, QLocale::c()).right(8), QStringLiteral("16:05:06"));
}

TEST(ReportWriter, SwitchAskedAtEveryLineAndAtTheSessionEnd) {
    QTemporaryDir dir;
    bool on = false;
    ReportWriter writer(dir.path(), [&on] { return on; });
    // The header is there from the start, so a report switched on later is whole.
    EXPECT_EQ(writer.lines(), report::headerLines());
    writer.addRequestResult(QStringLiteral("Skipped"), QStringLiteral("OK"));
    EXPECT_EQ(writer.endSession(QStringLiteral("s")), QString());
    EXPECT_FALSE(QFile::exists(dir.path() + "/reports/s.htm"));
    on = true;
    writer.addRequestResult(QStringLiteral("Kept"), QStringLiteral("OK"));
    const QByteArray bytes = readFile(writer.endSession(QStringLiteral("s")));
    EXPECT_TRUE(bytes.startsWith("<title>Linkbeacon</title>\r\n"));
    EXPECT_TRUE(bytes.contains(": Kept Status: OK\r\n"));
    EXPECT_FALSE(bytes.contains("Skipped"));
    EXPECT_TRUE(bytes.endsWith("</body></html>\r\n"));
    EXPECT_EQ(writer.lines(), report::headerLines());
}

TEST(ReportWriter, CsvQuotesWhatMustBeQuotedAndDisarmsFormulas) {
    // Cells a spreadsheet would run as a formula start with an apostrophe.
    const QPair<QString, QString> rows[] = {
        {"plain text; with: signs", "plain text; with: signs"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\r\nlines", "\"two\r\nlines\""},
        {"=HYPERLINK(A1)", "'=HYPERLINK(A1)"},
        {"=HYPERLINK(\"http://x\")", "\"'=HYPERLINK(\"\"http://x\"\")\""},
        {"+1", "'+1"},
        {"-1", "'-1"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\tx", "'\tx"},
        {"\rx", "\"'\rx\""},
        {"=a,b", "\"'=a,b\""},
        {"a=b", "a=b"},
        {"", ""},
    };
    for (const auto& [value, written] : rows)
        EXPECT_EQ(csvField(value), written) << value.toStdString();
    // Only the exact answer "OK" is a success.
    EXPECT_TRUE(csvRow(QDateTime::currentDateTime(), "S", "u", "Ok").endsWith(",Ok,no"));
}

// The layout of each line is pinned above; here, that every text a server or
// user chose shows as text wherever it goes.
TEST(ReportWriter, TextFromServersAndUsersShowsAsTextInTheHtmlReport) {
    const QString hostile = QStringLiteral("<script>alert(\"x&y\")</script>");
    const QString shown = QStringLiteral("&lt;script&gt;alert(&quot;x&amp;y&quot;)&lt;/script&gt;");
    const std::pair<QString, int> rows[] = {
        {report::requestLine(QStringLiteral("t"), hostile, hostile), 2},
        {report::sessionHeading(hostile, hostile), 2},
        {report::batchContacting(hostile), 1},
        {report::batchGettingInfo(hostile), 1},
        {report::batchSiteResult(hostile, true).join('|'), 2},
        {report::batchSiteResult(hostile, false).join('|'), 1},
    };
    for (const auto& [line, times] : rows) {
        EXPECT_EQ(line.count(shown), times) << line.toStdString();
        EXPECT_FALSE(line.contains(QLatin1String("<script>"))) << line.toStdString();
    }
}

TEST(ReportWriter, CsvBesideTheReportAndItsOwnFileError) {
    QTemporaryDir dir;
    ReportWriter w(dir.path(), true);
    const QDateTime when(QDate(2026, 12, 7), QTime(23, 59, 59));
    w.addRequestResult(QStringLiteral("Ünïcode"), QStringLiteral("404 Not Found"), when,
                       QStringLiteral("http://a/é"));
    w.endSession(QStringLiteral("s"));
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("reports/s.csv"))),
              QByteArray("\xEF\xBB\xBFTime,Engine,Address,Result,Success\r\n"
                         "2026-12-07 23:59:59,\xC3\x9Cn\xC3\xAF"
                         "code,http://a/\xC3\xA9,404 Not Found,no\r\n"));

    // A folder where the CSV should go: the HTML report is still written,
    // the CSV's error is raised, and the next session starts clean.
    QDir(dir.path()).mkpath(QStringLiteral("reports/t.csv"));
    w.addRequestResult(QStringLiteral("E"), QStringLiteral("OK"), when, QStringLiteral("u"));
    const QString message =
        lb::test::thrownMessage<FileError>([&] { w.endSession(QStringLiteral("t")); });
    EXPECT_TRUE(message.contains(QStringLiteral("t.csv"))) << qPrintable(message);
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("reports/t.htm"))));
    EXPECT_TRUE(w.csvRows().isEmpty());
}
