// The colour matcher on any rules text and any document: rule matches stay
// inside the text, runs are ordered, non-empty and never overlap, and the
// runs agree with the colour map they come from.
#include "FuzzCheck.h"
#include "source/ColourMatcher.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype nul = bytes.indexOf('\0');
    lb::TDrawRules rules = lb::sourceViewerRules();
    QString text = QString::fromUtf8(bytes);
    if (nul >= 0) {
        lb::TDrawRules parsed;
        QString error;
        if (lb::parseRulesText(QString::fromUtf8(bytes.left(nul)), parsed, error))
            rules = parsed;
        text = QString::fromUtf8(bytes.mid(nul + 1));
    }
    const lb::ColourMatcher matcher(rules);
    for (int r = 0; r < rules.size(); ++r)
        for (const auto& m : matcher.ruleMatches(r, text)) {
            FUZZ_CHECK(m.start >= 0 && m.start <= m.end && m.end < text.size());
            FUZZ_CHECK(m.slot >= 1 && m.slot <= matcher.palette().size());
        }
    std::vector<quint16> cells;
    matcher.colourMap(text, cells);
    FUZZ_CHECK(cells.size() == size_t(text.size()));
    const QList<lb::ColourRun> runs = matcher.runs(text);
    int end = 0;
    for (const lb::ColourRun& run : runs) {
        FUZZ_CHECK(run.length > 0 && run.start >= end && run.start + run.length <= text.size());
        for (int i = run.start; i < run.start + run.length; ++i)
            FUZZ_CHECK(cells[size_t(i)] != 0 &&
                       matcher.palette()[cells[size_t(i)] - 1] == run.colour);
        end = run.start + run.length;
    }
    FUZZ_CHECK(runs == lb::ColourMatcher::runsOf(cells, matcher.palette()));
    return 0;
}
