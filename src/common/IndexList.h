#pragma once
// Lists kept in an INI section as keys "0", "1", "2", ...: the whole lines of
// the section are read, then line i is replaced by the value stored under the
// key that is the decimal text of i, so the list holds the names in key order.
#include "common/IniFile.h"

namespace lb {

QStringList readIndexList(const IniFile& ini, const QString& section);

// Erases the section and writes the names under "0", "1", ...
void writeIndexList(IniFile& ini, const QString& section, const QStringList& names);

} // namespace lb
