// The demo as a newcomer runs it: a fresh copy of the bundled program folder,
// the demo targets (slow and failing ones included), session "Garden Tools"
// moved into "Sessions to submit" and Start pressed on "Step3 Submit". The
// window must end with the same counters, memo results and report lines as
// linkbeacon-cli submit on another copy of the same folder.
#include "sessions/SessionStore.h"
#include "submit/SubmissionRun.h"
#include "support/CliRun.h"
#include "support/DemoFolder.h"
#include "support/MainWindowTest.h"
#include "support/TargetSim.h"

#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace lb;
using lb::test::ScriptedDialogs;
using lb::test::TargetSim;

namespace {

const QString kSession = QStringLiteral("Garden Tools");

struct Outcome {
    int postingTo = -1, submitted = -1, successful = -1, failed = -1;
    QStringList finished;    // "n. Submission Finished  Result = ..." of the engines
    QStringList reportLines; // "name Status: text", time stamps left out
    QStringList memo;        // every memo line, in order
};

// The engine results of a report, without their time stamps.
QStringList reportResults(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {QStringLiteral("no report ") + file};
    QStringList out;
    static const QRegularExpression line(QStringLiteral("^<br>[^<]*?: (.*) Status: (.*)$"));
    for (const QString& l : QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"))) {
        const auto m = line.match(l);
        if (m.hasMatch())
            out << m.captured(1) + QStringLiteral(" Status: ") + m.captured(2);
    }
    return out;
}

// Readable in a failure message.
std::string text(QStringList lines, bool sorted = false) {
    if (sorted)
        lines.sort();
    return lines.join(QLatin1Char('\n')).toStdString();
}

QStringList finishedLines(const QStringList& memo) {
    QStringList out;
    for (const QString& l : memo)
        if (l.contains(QLatin1String(". Submission Finished ")))
            out << l;
    return out;
}

Outcome runSubmitCli(const QString& folder) {
    Outcome o;
    const auto r = lb::test::runCli(folder, {QStringLiteral("submit"), kSession}, {120000});
    if (r.exitCode < 0)
        return o;
    o.memo = QString::fromUtf8(r.out).split(QLatin1Char('\n'));
    static const QRegularExpression counts(QStringLiteral(
        "^Posting to: (\\d+)  Submitting: (\\d+)  Successful: (\\d+)  Failed: (\\d+)$"));
    QStringList memo;
    for (const QString& l : std::as_const(o.memo)) {
        const auto m = counts.match(l);
        if (m.hasMatch()) {
            o.postingTo = m.captured(1).toInt();
            o.submitted = m.captured(2).toInt();
            o.successful = m.captured(3).toInt();
            o.failed = m.captured(4).toInt();
        } else {
            memo << l;
        }
    }
    o.memo = memo;
    o.finished = finishedLines(memo);
    o.reportLines = reportResults(folder + QStringLiteral("/reports/") + kSession + ".htm");
    return o;
}

Outcome runWindow(const QString& folder, ScriptedDialogs& dialogs) {
    Outcome o;
    {
        lb::test::InFolder cwd(folder);
        TKestrel w(dialogs);
        w.show();
        QObject::connect(&w.submission(), &SubmissionRun::memoLine,
                         [&o](const QString& l) { o.memo << l; });
        lb::test::queueSession(w, w.sessions().sesList2().indexOf(kSession));
        w.notebook()->setCurrentIndex(TKestrel::SubmitPage);
        lb::test::submitAndWait(w, 120000);
        auto count = [&w](const char* name) {
            auto* l = w.findChild<QLabel*>(QLatin1String(name));
            return l ? l->text().toInt() : -1;
        };
        o.postingTo = count("Posting_to");
        o.submitted = count("Submitted");
        o.successful = count("Successfull");
        o.failed = count("Failed");
    }
    o.finished = finishedLines(o.memo);
    o.reportLines = reportResults(folder + QStringLiteral("/reports/") + kSession + ".htm");
    return o;
}

} // namespace

TEST(DemoRun, WindowAndCommandLineAgreeOnEveryEngine) {
    TargetSim sim({QStringLiteral("--demo-delay"), QStringLiteral("400")});
    ASSERT_TRUE(sim.ok());
    QTemporaryDir forWindow, forCli;
    ASSERT_TRUE(lb::test::copyBundledFolder(forWindow.path(), sim.port()));
    ASSERT_TRUE(lb::test::copyBundledFolder(forCli.path(), sim.port()));

    const Outcome cli = runSubmitCli(forCli.path());
    ScriptedDialogs dialogs;
    const Outcome win = runWindow(forWindow.path(), dialogs);
    EXPECT_TRUE(dialogs.texts().isEmpty()) << qPrintable(dialogs.texts().join('|'));

    // The bundled batch site takes the session for all its pages.
    EXPECT_TRUE(win.memo.contains(QStringLiteral("Submission to all 127.0.0.1 pages succeeded.")))
        << qPrintable(win.memo.join('\n'));
    EXPECT_EQ(cli.memo.count(QStringLiteral("Submission to all 127.0.0.1 pages succeeded.")), 1);

    // The bundled demo database: 30 engines, each with one result line.
    ASSERT_EQ(cli.finished.size(), 30) << qPrintable(cli.memo.join('\n'));
    EXPECT_EQ(win.finished.size(), 30) << qPrintable(win.memo.join('\n'));
    EXPECT_EQ(win.postingTo, cli.postingTo);
    // "Submitting:" names the last request to finish, which depends on timing:
    // it must agree with the run's own memo.
    ASSERT_FALSE(win.finished.isEmpty());
    EXPECT_EQ(win.submitted, win.finished.last().section(QLatin1Char('.'), 0, 0).toInt() - 1);
    EXPECT_EQ(cli.submitted, cli.finished.last().section(QLatin1Char('.'), 0, 0).toInt() - 1);
    EXPECT_EQ(win.successful, cli.successful);
    EXPECT_EQ(win.failed, cli.failed);
    EXPECT_EQ(win.successful + win.failed, cli.postingTo);

    // The same request numbers with the same results, each number once.
    EXPECT_EQ(text(win.finished, true), text(cli.finished, true));
    QStringList numbers;
    for (const QString& l : std::as_const(win.finished))
        numbers << l.section(QLatin1Char('.'), 0, 0);
    numbers.removeDuplicates();
    EXPECT_EQ(numbers.size(), win.finished.size());

    // One report line per engine, with its own name and result.
    ASSERT_EQ(cli.reportLines.size(), 30);
    EXPECT_EQ(text(win.reportLines, true), text(cli.reportLines, true));
    for (const QString& l : std::as_const(win.reportLines))
        EXPECT_FALSE(l.startsWith(QLatin1String(" Status: "))) << qPrintable(l);
}
