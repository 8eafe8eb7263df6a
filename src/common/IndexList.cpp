#include "common/IndexList.h"

namespace lb {

QStringList readIndexList(const IniFile& ini, const QString& section) {
    QStringList lines = ini.readSectionValues(section);
    for (qsizetype i = 0; i < lines.size(); ++i)
        lines[i] = ini.readString(section, QString::number(i));
    return lines;
}

void writeIndexList(IniFile& ini, const QString& section, const QStringList& names) {
    QList<IniFile::Write> writes;
    for (qsizetype i = 0; i < names.size(); ++i)
        writes.append({section, QString::number(i), names.at(i)});
    ini.writeStrings(writes, section);
}

} // namespace lb
