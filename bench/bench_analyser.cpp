// The submission form analyser on large and hostile pages: the time per
// byte must stay flat as pages grow (one walk over the text per pass).
#include "engines/EngineRecord.h"
#include "extractor/FormAnalyser.h"
#include "extractor/SiteName.h"

#include <benchmark/benchmark.h>

using namespace lb;

namespace {

const QByteArray UrlForm = "<FORM METHOD=POST ACTION=\"/cgi-bin/add.cgi\">\n"
                           "<input type=hidden name=mode value=add>\n"
                           "<input type=text name=url size=40><input name=title>\n"
                           "<textarea name=description></textarea><input name=email>\n"
                           "<select name=catagory><option>Business<option>Computers"
                           "<option>Education<option>Entertainment<option>Government"
                           "<option>Personal<option>Miscellaneous</select>\n"
                           "<input type=submit value=Add>\n</FORM>\n";

// An ordinary page of about size bytes: text, links, tables and search forms
// without a URL field, with the submission form at its end.
QByteArray ordinaryPage(qsizetype size) {
    const QByteArray block =
        "<p>Links and <a href=\"/dir/page.html\">more links</a> on <b>this</b> page.</p>\n"
        "<table><tr><td><img src=\"x.gif\" alt=\"\"></td><td>cell</td></tr></table>\n"
        "<form method=get action=/search><input name=q size=20>"
        "<select name=where><option>Web<option SELECTED>Site</select> </form>\n";
    QByteArray page = "<html><head><title>Add your site</title></head><body>\n";
    page.reserve(size + UrlForm.size() + 64);
    while (page.size() + UrlForm.size() < size)
        page += block;
    page += UrlForm;
    page += "</body></html>\n";
    return page;
}

QByteArray repeated(const QByteArray& head, const QByteArray& unit, qsizetype size,
                    const QByteArray& tail = QByteArray()) {
    QByteArray page = head;
    page.reserve(size + tail.size());
    while (page.size() < size)
        page += unit;
    return page + tail;
}

void analyse(benchmark::State& state, const QByteArray& page) {
    FormAnalyserInput in;
    in.pageUrl = QStringLiteral("http://www.example.com/dir/add.html");
    in.engineNames = {QStringLiteral("example"), QStringLiteral("other")};
    in.categoryTypes = {QStringLiteral("General"), QStringLiteral("Classic"),
                        QStringLiteral("Big")};
    for (auto _ : state) {
        EngineRecord r;
        r.setPost(true);
        FindUrlForms(page, in, r);
        benchmark::DoNotOptimize(r.fields);
    }
    state.SetBytesProcessed(state.iterations() * page.size());
}

void BM_OrdinaryPage(benchmark::State& state) {
    analyse(state, ordinaryPage(state.range(0)));
}
BENCHMARK(BM_OrdinaryPage)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Arg(10'000'000)
    ->Unit(benchmark::kMillisecond);

// The whole page one form with a URL field: every tag is tested.
void BM_OneHugeForm(benchmark::State& state) {
    analyse(state, repeated("<form method=post action=/a.cgi><input name=url>",
                            "<input type=text name=title size=20><br>\n", state.range(0)));
}
BENCHMARK(BM_OneHugeForm)->Arg(1'000'000)->Arg(10'000'000)->Unit(benchmark::kMillisecond);

// Hostile shapes, 10 MB each.
void BM_Hostile(benchmark::State& state, const QByteArray& page) {
    analyse(state, page);
}
BENCHMARK_CAPTURE(BM_Hostile, open_brackets_without_close, repeated("name=url ", "<", 10'000'000))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Hostile, one_tag_full_of_names,
                  repeated("<input name=url ", "NAME=", 10'000'000, ">"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Hostile, form_end_every_few_bytes,
                  repeated("", "<input name=url></FOR", 10'000'000))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Hostile, select_never_closed,
                  repeated("<input name=url><select name=catagory>", "<option>x>y", 10'000'000))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Hostile, option_far_after_many_brackets,
                  repeated("<input name=url><select>", "><", 10'000'000, "<OPTION>x</select>"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Hostile, many_selected_options,
                  repeated("<input name=url><select>", "<OPTION SELECTED>", 10'000'000,
                           "</select>"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Hostile, many_small_selects,
                  repeated("<input name=url>", "<SELECT><OPTION>a</SELECT>", 10'000'000))
    ->Unit(benchmark::kMillisecond);

// Numbering a new site against 100,000 engines named site, site1 ... site99999.
void BM_SiteNameAgainstNumberedEngines(benchmark::State& state) {
    QStringList names;
    names.append(QStringLiteral("site"));
    for (int i = 1; i < 100'000; ++i)
        names.append(QStringLiteral("site%1").arg(i));
    for (auto _ : state)
        benchmark::DoNotOptimize(SiteNameCandidates(names, QStringLiteral("site")).firstFree());
}
BENCHMARK(BM_SiteNameAgainstNumberedEngines)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
