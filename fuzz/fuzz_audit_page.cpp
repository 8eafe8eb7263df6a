// The site audit's reading of a page on any bytes in any charset: title and
// description come out with white space collapsed, counts stay inside the
// page, every link stands in a tag.
//
// Input: byte 0 chooses the charset the header names, the rest is the page.
#include "FuzzCheck.h"

#include "audit/PageFacts.h"

#include <QByteArray>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    static const char* const charsets[] = {"",          "utf-8",     "ISO-8859-1", "windows-1251",
                                           "shift_jis", "utf-16",    "koi8-r",     "no-such-set"};
    const QByteArray page(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const lb::audit::PageFacts facts = lb::audit::readPageFacts(page, charsets[data[0] & 7]);

    const qsizetype tags = page.count('<');
    for (const QString* text : {&facts.title, &facts.description}) {
        FUZZ_CHECK(lb::audit::collapseWhiteSpace(*text) == *text);
        FUZZ_CHECK(lb::audit::characterCount(*text) <= text->size());
    }
    FUZZ_CHECK(!facts.hasTitle || tags > 0);
    FUZZ_CHECK(facts.h1Count >= 0 && facts.h1Count <= tags);
    FUZZ_CHECK(facts.imagesWithoutAlt >= 0 && facts.imagesWithoutAlt <= tags);
    FUZZ_CHECK(facts.links.size() <= tags);
    return 0;
}
