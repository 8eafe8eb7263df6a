// The submission form analyser on any page: it ends, and the record it fills
// can be saved as an engine line and read back unchanged (no "|" in a value,
// no "=" in the site name, no line breaks).
#include "extractor/FormAnalyser.h"
#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray page(reinterpret_cast<const char*>(data), qsizetype(size));
    lb::FormAnalyserInput input;
    input.pageUrl = QStringLiteral("http://www.example.com/add/url.html");
    input.engineNames = {QStringLiteral("example"), QStringLiteral("example1")};
    input.categoryTypes = {QStringLiteral("Cat1"), QStringLiteral("Cat2"), QStringLiteral("Cat3")};
    lb::EngineRecord editor;
    lb::FindUrlForms(page, input, editor);
    for (const QString& v : editor.fields) {
        FUZZ_CHECK(!v.contains(QLatin1Char('|')));
        FUZZ_CHECK(!v.contains(QLatin1Char('\n')) && !v.contains(QLatin1Char('\r')));
    }
    FUZZ_CHECK(!editor.name.contains(QLatin1Char('=')) && !editor.name.contains(QLatin1Char('|')));
    const lb::EngineRecord back = lb::EngineRecord::fromLine(editor.toLine());
    FUZZ_CHECK(back.name == editor.name);
    return 0;
}
