// Form analysis of large FFA pages: time against page size (it should grow
// linearly). One form holding every tag, and many forms in a row.
#include "ffa/FfaForm.h"
#include "ffa/FfaList.h"

#include <benchmark/benchmark.h>
#include <QCoreApplication>

namespace {

const QByteArray kCat1 = "<select name=\"section\"><option>Business<option>Computers"
                         "<option>Education<option>Entertainment<option>Government"
                         "<option>Personal<option>Miscellaneous</select>\r\n";

// About `bytes` of markup: one big form, or a form every kilobyte or so.
QByteArray page(qint64 bytes, bool manyForms) {
    QByteArray out = "<html><head><title>Free links</title></head><body>\r\n";
    out.reserve(bytes + 4096);
    if (!manyForms)
        out += "<form method=\"post\" action=\"add.cgi\"><input type=\"text\" name=\"url\">\r\n";
    int i = 0;
    while (out.size() < bytes) {
        if (manyForms)
            out +=
                "<form method=\"post\" action=\"add.cgi\"><input type=\"text\" name=\"url\">\r\n";
        out += "<p>Link " + QByteArray::number(++i) +
               ": <a href=\"http://www.example.com/links/page" + QByteArray::number(i) +
               ".htm\">a <b>free</b> site</a></p>\r\n"
               "<input type=\"hidden\" name=\"h" +
               QByteArray::number(i) + "\" value=\"v\"><input type=\"text\" name=\"title\">\r\n" +
               "<option value=\"Opt" + QByteArray::number(i) + "\">Opt</option>\r\n";
        if (manyForms)
            out += kCat1 + "</form>\r\n";
    }
    if (!manyForms)
        out += kCat1 + "</form>\r\n";
    return out + "</body></html>\r\n";
}

void analyse(benchmark::State& state, bool manyForms) {
    const QByteArray doc = page(state.range(0) * 1000 * 1000 / 4, manyForms);
    qint64 ticks = 0;
    for (auto _ : state) {
        lb::FfaList list;
        const int added =
            lb::analyseFfaPage(list, doc, QStringLiteral("http://www.a.com/links.htm"),
                               [&](qint64, qint64) { ++ticks; });
        benchmark::DoNotOptimize(added);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * doc.size());
    state.counters["MB"] = double(doc.size()) / 1e6;
    state.counters["tags"] = double(ticks) / double(state.iterations());
}

void BM_FormAnalysisOneForm(benchmark::State& state) {
    analyse(state, false);
}
void BM_FormAnalysisManyForms(benchmark::State& state) {
    analyse(state, true);
}

// Option lists without values: small lists in a row, then one list that never closes.
void BM_FormAnalysisPlainOptions(benchmark::State& state) {
    const qint64 bytes = state.range(0) * 1000 * 1000 / 4;
    QByteArray doc = "<form method=post action=add.cgi><input name=url>";
    doc.reserve(bytes + 1024);
    while (doc.size() < bytes / 2)
        doc += "<select name=section><option>Business<option> Other&nbsp;x</select>\r\n";
    doc += "<select name=section>";
    while (doc.size() < bytes)
        doc += "<option>Miscellaneous";
    for (auto _ : state) {
        lb::FfaList list;
        benchmark::DoNotOptimize(
            lb::analyseFfaPage(list, doc, QStringLiteral("http://www.a.com/links.htm")));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * doc.size());
    state.counters["MB"] = double(doc.size()) / 1e6;
}

} // namespace

BENCHMARK(BM_FormAnalysisPlainOptions)->Arg(10)->Arg(20)->Arg(40)->Unit(benchmark::kMillisecond);
// Sizes in quarter megabytes: 2.5, 5 and 10 MB.
BENCHMARK(BM_FormAnalysisOneForm)->Arg(10)->Arg(20)->Arg(40)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FormAnalysisManyForms)->Arg(10)->Arg(20)->Arg(40)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
