// Colouring a 1 MB page: the matcher alone (both rule sets of the program),
// the first paint of the colouring memo, and one keystroke in the middle of
// the page with the repaint it causes. Offscreen platform.
#include "source/ColourMatcher.h"
#include "source/ui/TColorMemo.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QTextBlock>
#include <QTextCursor>

#include <random>

namespace {

// A form-heavy page of about 1 MB with CR LF line ends.
const QString& page() {
    static const QString text = [] {
        const char* parts[] = {
            "<form action=\"/cgi-bin/add.cgi\" method=post>\r\n",
            "<input type=text name=\"url\" value=\"http://\" size=40>\r\n",
            "<select name=cat><option value=1>One</option><option>Two</option></select>\r\n",
            "<p>Some ordinary text of the page, with words and more words.</p>\r\n",
            "<!-- a comment -->\r\n",
            "<textarea name=d rows=4>x</textarea></form>\r\n",
            "<META NAME=\"Keywords\" CONTENT=\"a, b\">\r\n"};
        std::mt19937 rng(7);
        QString s;
        while (s.size() < 1000000)
            s += QLatin1String(parts[rng() % 7]);
        return s;
    }();
    return text;
}

void matcher(benchmark::State& state, const lb::TDrawRules& rules) {
    const lb::ColourMatcher m(rules);
    std::vector<quint16> cells;
    for (auto _ : state) {
        m.colourMap(page(), cells);
        benchmark::DoNotOptimize(cells.data());
    }
    state.SetBytesProcessed(state.iterations() * page().size());
}

void BM_MatcherSourceRules(benchmark::State& state) {
    matcher(state, lb::sourceViewerRules());
}
void BM_MatcherMetaRules(benchmark::State& state) {
    matcher(state, lb::metaCreatorRules());
}

void BM_RunsSourceRules(benchmark::State& state) {
    const lb::ColourMatcher m(lb::sourceViewerRules());
    for (auto _ : state)
        benchmark::DoNotOptimize(m.runs(page()));
}

// setPlainText of the page and the first paint of the memo.
void BM_MemoFirstPaint(benchmark::State& state) {
    for (auto _ : state) {
        lb::TColorMemo memo;
        memo.resize(800, 600);
        memo.SetColorRules(lb::sourceViewerRules());
        memo.show();
        memo.setPlainText(page());
        memo.grab();
        state.PauseTiming();
        memo.hide();
        state.ResumeTiming();
    }
}

// One character typed in the middle of the page, shown there, and repainted.
void BM_MemoKeystrokeInMiddle(benchmark::State& state) {
    lb::TColorMemo memo;
    memo.resize(800, 600);
    memo.SetColorRules(lb::sourceViewerRules());
    memo.show();
    memo.setPlainText(page());
    memo.grab(); // laid out, so scrolling to the middle works
    // A form line in the middle: typing after its "<" takes its colour away, and back.
    QTextBlock b = memo.document()->findBlockByNumber(memo.document()->blockCount() / 2);
    while (b.isValid() && !b.text().startsWith(QLatin1String("<input")))
        b = b.next();
    QTextCursor c(b);
    c.setPosition(b.position() + 1);
    memo.setTextCursor(c);
    memo.ensureCursorVisible();
    QApplication::processEvents();
    memo.grab();
    memo.TakeFormattedBlockCount();
    int64_t blocks = 0;
    bool insert = true;
    for (auto _ : state) {
        if (insert)
            c.insertText(QStringLiteral("x"));
        else
            c.deletePreviousChar();
        insert = !insert;
        QApplication::processEvents();
        memo.grab();
        blocks += memo.TakeFormattedBlockCount();
    }
    state.counters["blocks_formatted"] =
        benchmark::Counter(double(blocks), benchmark::Counter::kAvgIterations);
}

} // namespace

BENCHMARK(BM_MatcherSourceRules)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MatcherMetaRules)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunsSourceRules)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemoFirstPaint)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_MemoKeystrokeInMiddle)->Unit(benchmark::kMillisecond)->Iterations(40);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
