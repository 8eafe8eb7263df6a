#include "engines/FormNames.h"

namespace lb {

namespace {

template <std::size_t N> bool allOccur(QByteArrayView text, const char* const (&names)[N]) {
    for (const char* n : names)
        if (text.indexOf(QByteArrayView(n)) < 0)
            return false;
    return true;
}

} // namespace

int categoryTypeItem(QByteArrayView options) {
    if (allOccur(options, LargestCategorySet))
        return 2;
    if (allOccur(options, MiddleCategorySet))
        return 1;
    if (allOccur(options, SmallestCategorySet))
        return 0;
    return -1;
}

} // namespace lb
