// The session-end write of a 10,000-engine run: the HTML report and the CSV
// beside it, and the CSV alone.
#include "submit/ReportWriter.h"

#include <benchmark/benchmark.h>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

void fill(lb::ReportWriter& w, int engines) {
    const QDateTime when = QDateTime::currentDateTime();
    for (int i = 0; i < engines; ++i)
        w.addRequestResult(
            QStringLiteral("Engine %1").arg(i),
            i % 5 ? QStringLiteral("OK") : QStringLiteral("Not Found"), when,
            QStringLiteral(
                "http://127.0.0.1:8642/demo/add%1.cgi?title=Garden+Tools&url=http%3A%2F%2F"
                "garden.example.com%2F")
                .arg(i));
}

void BM_SessionEndHtmlAndCsv(benchmark::State& state) {
    QTemporaryDir dir;
    for (auto _ : state) {
        state.PauseTiming();
        lb::ReportWriter w(dir.path(), true);
        fill(w, int(state.range(0)));
        state.ResumeTiming();
        w.endSession(QStringLiteral("bench"));
    }
    state.counters["csv_bytes"] =
        double(QFileInfo(dir.filePath(QStringLiteral("reports/bench.csv"))).size());
    state.counters["htm_bytes"] =
        double(QFileInfo(dir.filePath(QStringLiteral("reports/bench.htm"))).size());
}
BENCHMARK(BM_SessionEndHtmlAndCsv)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_CsvAlone(benchmark::State& state) {
    QTemporaryDir dir;
    lb::ReportWriter w(dir.path(), true);
    fill(w, int(state.range(0)));
    const QStringList rows = w.csvRows();
    for (auto _ : state)
        lb::writeCsvReport(dir.path(), QStringLiteral("bench"), rows);
}
BENCHMARK(BM_CsvAlone)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
