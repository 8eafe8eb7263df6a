// linkbeacon-cli engines check: the engine health check without a window.
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "common/FileError.h"
#include "common/Paths.h"
#include "common/ProxySettings.h"
#include "engines/EngineCheck.h"
#include "engines/EngineCheckFiles.h"
#include "submit/SpeedSteps.h"

#include <QDir>
#include <QEventLoop>

#include <cmath>
#include <cstdio>

namespace lb::cli {

namespace {

void printLine(const QString& line) {
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QString engineLine(const EngineCheckResult& r) {
    QString line = engineStateName(r.state) + QLatin1Char(' ') + r.name;
    if (!r.detail.isEmpty())
        line += QLatin1Char(' ') + r.detail;
    return line;
}

} // namespace

int runEngines(const CommandLine& line) {
    const QStringList operands = line.operands();
    if (operands.isEmpty())
        return line.usageError(QStringLiteral("no subcommand (check)"));
    if (operands.first() != QLatin1String("check"))
        return line.usageError(QStringLiteral("unknown subcommand ") + operands.first());
    if (operands.size() > 1)
        return line.usageError(QStringLiteral("unexpected argument ") + operands.at(1));

    const QString speedText =
        line.isSet("speed") ? line.value("speed") : speedSteps().at(DefaultSpeedIndex);
    const int speedIndex = int(speedSteps().indexOf(speedText));
    if (speedIndex < 0)
        return line.usageError(QStringLiteral("speed must be one of ") +
                               speedSteps().join(QLatin1Char(' ')));
    bool ok = true;
    const double seconds = line.isSet("timeout") ? line.value("timeout").toDouble(&ok) : 30;
    if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > 86400)
        return line.usageError(QStringLiteral("--timeout needs SECONDS (more than 0)"));
    if (line.isSet("csv") && line.value("csv").isEmpty())
        return line.usageError(QStringLiteral("--csv needs FILE"));

    const QString appDir = QDir::currentPath();
    const QString db = line.isSet("database") ? line.value("database") : QStringLiteral("data");
    QList<EngineRecord> engines;
    try {
        engines = readCheckDatabase(appDir, db);
    } catch (const FileError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }

    EngineCheck check;
    check.setEngines(engines);
    check.setSpeed(speedSteps().at(speedIndex).toInt());
    check.setTimeoutMs(int(std::lround(seconds * 1000)));
    check.setProxy(ProxySettings::load(appDir));

    // Lines in database order: each as soon as all before it are done.
    int printed = 0;
    QObject::connect(&check, &EngineCheck::engineChecked, [&](int) {
        while (printed < check.count() &&
               check.results().at(printed).state != EngineState::Unchecked)
            printLine(engineLine(check.results().at(printed++)));
    });
    QEventLoop loop;
    QObject::connect(&check, &EngineCheck::finished, &loop, &QEventLoop::quit);
    check.start();
    if (check.running())
        loop.exec();

    int exitCode = 0;
    auto write = [&](const QString& path, const QByteArray& bytes) {
        try {
            writeCheckFile(path, bytes);
        } catch (const FileError& e) {
            std::fprintf(stderr, "%s\n", qPrintable(e.message()));
            exitCode = 1;
        }
    };
    const QString name = checkDatabaseName(db);
    const QByteArray csvBytes = checkCsv(check.results());
    write(checkCsvPath(appDir, name), csvBytes);
    write(checkHtmlPath(appDir, name), checkHtml(name, check.results()));
    if (line.isSet("csv"))
        write(line.value("csv"), csvBytes);

    if (line.isSet("exclude")) {
        const QString file = appPath(appDir, QStringLiteral("\\data\\exclude.tmp"));
        try {
            printLine(QStringLiteral("excluded: %1")
                          .arg(addToIgnoreList(file, goneAndDeadNames(check.results()))));
        } catch (const FileError& e) {
            std::fprintf(stderr, "%s\n", qPrintable(e.message()));
            exitCode = 1;
        }
    }
    printLine(QStringLiteral("engines: ") + check.countsText());
    return exitCode;
}

} // namespace lb::cli
