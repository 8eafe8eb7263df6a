// linkbeacon-cli rar test|extract: TRAR on one archive, every event on stdout.
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "update/TRAR.h"

#include <cstdio>

namespace lb::cli {

namespace {

void line(const QString& text) {
    const QByteArray b = text.toUtf8();
    std::fwrite(b.constData(), 1, size_t(b.size()), stdout);
    std::fputc('\n', stdout);
}

} // namespace

int runRar(const CommandLine& cl) {
    QStringList operands = cl.operands();
    if (operands.isEmpty())
        return cl.usageError(QStringLiteral("missing test or extract"));
    const QString mode = operands.takeFirst();
    const bool extract = mode == QLatin1String("extract");
    if (!extract && mode != QLatin1String("test"))
        return cl.usageError(QStringLiteral("unknown subcommand '%1'").arg(mode));
    const int needed = extract ? 2 : 1;
    if (operands.size() < needed)
        return cl.usageError(extract ? QStringLiteral("missing ARCHIVE or DIR")
                                     : QStringLiteral("missing ARCHIVE"));

    TRAR rar;
    rar.ArchiveName = operands[0];
    auto name = [](const RARHeaderData& h) { return shownEntryName(h.FileName); };
    rar.OnTesting = [&](TRAR*, const RARHeaderData& h) {
        line(QStringLiteral("Testing: ") + name(h));
    };
    rar.OnTested = [&](TRAR*, const RARHeaderData& h, bool ok) {
        line(QStringLiteral("Tested: ") + name(h) +
             (ok ? QStringLiteral(" OK") : QStringLiteral(" FAILED")));
    };
    rar.OnExtracting = [&](TRAR*, const RARHeaderData& h) {
        line(QStringLiteral("Extracting: %1 %2").arg(name(h)).arg(h.UnpSize));
    };
    rar.OnExtract = [&](TRAR*, const RARHeaderData& h, bool ok) {
        line(QStringLiteral("Extracted: ") + name(h) +
             (ok ? QStringLiteral(" OK") : QStringLiteral(" FAILED")));
    };
    rar.OnProcessData = [](TRAR*, const char*, int block, qint64 position) {
        line(QStringLiteral("Data: %1 %2").arg(block).arg(position));
        return 1;
    };
    rar.OnError = [](TRAR*, int code) { line(QStringLiteral("Error: %1").arg(code)); };
    rar.OnVolumeChange = [](TRAR*, const QString&, int) { return 0; };
    rar.OnComment = [](TRAR*, const QString&) {};
    rar.OnListFile = [](TRAR*, const RARHeaderData&) {};
    rar.OnReqPassword = [](TRAR*, const RARHeaderData&, QString&) {};

    bool ok;
    if (extract) {
        rar.TargetDir = operands[1];
        rar.FilesToExtract = operands.mid(2);
        ok = rar.Extract();
    } else {
        rar.FilesToTest = operands.mid(1);
        ok = rar.Test();
    }
    line(ok ? QStringLiteral("Result: True") : QStringLiteral("Result: False"));
    std::fflush(stdout);
    return ok ? 0 : 1;
}

} // namespace lb::cli
