#include "engines/EngineRecord.h"

namespace lb {

const std::array<const char*, EngineRecord::FieldCount + 1> EngineControlNames = {
    "Site_Name",    "Site_Url",      "cgi_url",       "Title_Name", "Url_Name",   "Email_Name",
    "Desc_Name",    "Catagory_Name", "Cat_Type",      "Your_Name",  "Hidden",     "Last_name",
    "Company_Name", "Address1_name", "Address2_Name", "City_Name",  "State_Name", "Zip_Name",
    "Phone_Name",   "Fax_Name",      "Method",        "Key1_Name",  "Key2_Name",  "Key3_Name",
    "Key4_Name",    "Key5_Name",     "Key6_Name",     "Key7_Name",  "Key8_Name",  "Key9_Name",
    "Key10_Name",   "Key11_Name",    "Key12_Name",    "Key13_Name", "Key14_Name", "Key15_Name",
    "Key16_Name",   "Country_Name"};

QString engineLineName(const QString& line) {
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    return eq < 0 ? QString() : line.left(eq);
}

EngineRecord EngineRecord::fromLine(const QString& line) {
    EngineRecord r;
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    // Without "=" the name is empty and the fields start at the beginning.
    r.name = eq < 0 ? QString() : line.left(eq);
    // Take the text before the next "|", 37 times; without a "|" the rest is
    // not a field at all, so a line without separators has only empty fields.
    qsizetype pos = eq + 1;
    for (int f = 0; f < FieldCount; ++f) {
        const qsizetype bar = line.indexOf(QLatin1Char('|'), pos);
        if (bar < 0)
            break;
        r.fields[std::size_t(f)] = line.mid(pos, bar - pos);
        pos = bar + 1;
    }
    return r;
}

QString EngineRecord::toLine() const {
    QString line = name;
    line += QLatin1Char('=');
    for (int f = 0; f < FieldCount; ++f) {
        if (f == Method)
            line += isPost() ? QStringLiteral("POST") : QStringLiteral("GET");
        else
            line += fields[std::size_t(f)];
        line += QLatin1Char('|');
    }
    return line;
}

} // namespace lb
