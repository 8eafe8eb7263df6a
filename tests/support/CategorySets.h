#pragma once
// The category sets of the form names as lists, for the options of a select.
#include "engines/FormNames.h"

#include <QStringList>

#include <cstddef>

namespace lb::test {

template <std::size_t N> QStringList categoryNames(const char* const (&set)[N]) {
    QStringList out;
    for (const char* name : set)
        out.append(QLatin1String(name));
    return out;
}

} // namespace lb::test
