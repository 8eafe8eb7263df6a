// linkbeacon-cli colour: the coloured runs the colouring memo paints for a
// file, one "START LENGTH COLOUR" line per run, offsets in code points.
#include "cli/Commands.h"
#include "cli/TextFiles.h"
#include "source/ColourMatcher.h"

#include <cstdio>

namespace lb::cli {

namespace {

int usageError(const QString& message) {
    std::fprintf(stderr, "linkbeacon-cli colour: %s\n", message.toLocal8Bit().constData());
    return 2;
}

} // namespace

int runColour(const QStringList& args) {
    QString rulesName;
    QString rulesFile;
    QString file;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--rules") || a == QLatin1String("--rules-file")) {
            if (i + 1 >= args.size())
                return usageError(a + QStringLiteral(" needs a value"));
            if (!rulesName.isNull() || !rulesFile.isNull())
                return usageError(QStringLiteral("give --rules or --rules-file once"));
            (a == QLatin1String("--rules") ? rulesName : rulesFile) = args.at(++i);
        } else if (a.startsWith(QLatin1String("--")) && a.size() > 2) {
            return usageError(QStringLiteral("unknown option ") + a);
        } else if (file.isNull()) {
            file = a;
        } else {
            return usageError(QStringLiteral("only one FILE"));
        }
    }
    if (file.isNull())
        return usageError(
            QStringLiteral("usage: colour [--rules source|meta | --rules-file RULES] FILE"));

    TDrawRules rules;
    if (!rulesFile.isNull()) {
        QString text;
        if (!readTextFile(rulesFile, text))
            return failLine(QStringLiteral("Cannot open file ") + rulesFile);
        QString error;
        if (!parseRulesText(text, rules, error))
            return usageError(rulesFile + QStringLiteral(": ") + error);
    } else if (rulesName.isNull() || rulesName == QLatin1String("source")) {
        rules = sourceViewerRules();
    } else if (rulesName == QLatin1String("meta")) {
        rules = metaCreatorRules();
    } else {
        return usageError(QStringLiteral("--rules is source or meta"));
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
