// linkbeacon-cli colour: the coloured runs the colouring memo paints for a
// file, one "START LENGTH COLOUR" line per run, offsets in code points.
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/TextFiles.h"
#include "source/ColourMatcher.h"

#include <cstdio>

namespace lb::cli {

int runColour(const CommandLine& line) {
    const QStringList given = line.values("rules") + line.values("rules-file");
    if (given.size() > 1)
        return line.usageError(QStringLiteral("give --rules or --rules-file once"));
    if (line.operands().size() > 1)
        return line.usageError(QStringLiteral("only one FILE"));
    if (line.operands().isEmpty())
        return line.usageError(
            QStringLiteral("usage: colour [--rules source|meta | --rules-file RULES] FILE"));
    const QString file = line.operands().first();
    // Null when not given: an empty name is still a (wrong) choice.
    const QString rulesName = line.isSet("rules") ? line.value("rules") : QString();
    const QString rulesFile = line.isSet("rules-file") ? line.value("rules-file") : QString();

    TDrawRules rules;
    if (!rulesFile.isNull()) {
        QString text;
        if (!readTextFile(rulesFile, text))
            return failLine(QStringLiteral("Cannot open file ") + rulesFile);
        QString error;
        if (!parseRulesText(text, rules, error))
            return line.usageError(rulesFile + QStringLiteral(": ") + error);
    } else if (rulesName.isNull() || rulesName == QLatin1String("source")) {
        rules = sourceViewerRules();
    } else if (rulesName == QLatin1String("meta")) {
        rules = metaCreatorRules();
    } else {
        return line.usageError(QStringLiteral("--rules is source or meta"));
    }

    QString text;
    if (!readTextFile(file, text))
        return failLine(QStringLiteral("Cannot open file ") + file);

    const ColourMatcher matcher(rules);
    const QList<ColourRun> runs = matcher.runs(text);

    // UTF-16 offsets to code points: walk once, counting surrogate pairs as one.
    QByteArray out;
    out.reserve(runs.size() * 16);
    int unit = 0;
    qint64 point = 0;
    auto advanceTo = [&](int target) {
        while (unit < target) {
            if (text.at(unit).isHighSurrogate() && unit + 1 < text.size() &&
                text.at(unit + 1).isLowSurrogate())
                unit += 2;
            else
                unit += 1;
            ++point;
        }
    };
    for (const ColourRun& r : runs) {
        advanceTo(r.start);
        const qint64 start = point;
        advanceTo(r.start + r.length);
        out += QByteArray::number(start);
        out += ' ';
        out += QByteArray::number(point - start);
        out += ' ';
        out += colourText(r.colour).toLatin1();
        out += '\n';
    }
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fflush(stdout);
    return 0;
}

} // namespace lb::cli
