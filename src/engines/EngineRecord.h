#pragma once
// One engine (a target form): its site name and 37 text fields, held on disk
// and in memory as one engine line: name "=" then every field followed by "|".
#include <array>
#include <QString>

namespace lb {

struct EngineRecord {
    // Field positions in the engine line (0-based; the site name is separate).
    enum Field {
        SiteUrl,
        CgiUrl,
        TitleVar,
        UrlVar,
        EmailVar,
        DescriptionVar,
        CategoryVar,
        CategoryType,
        FirstNameVar,
        HiddenValues,
        LastNameVar,
        CompanyVar,
        Address1Var,
        Address2Var,
        CityVar,
        StateVar,
        ZipVar,
        PhoneVar,
        FaxVar,
        Method,
        Key1Var, // Key1Var + k for keyword k+1, up to Key16Var
        Key16Var = Key1Var + 15,
        CountryVar,
        FieldCount
    };
    static_assert(FieldCount == 37);

    QString name;
    std::array<QString, FieldCount> fields;

    QString& operator[](int f) { return fields[std::size_t(f)]; }
    const QString& operator[](int f) const { return fields[std::size_t(f)]; }

    bool isPost() const { return fields[Method] == QLatin1String("POST"); }
    void setPost(bool post) {
        fields[Method] = post ? QStringLiteral("POST") : QStringLiteral("GET");
    }

    // Parses an engine line; fields missing at the end read as empty.
    static EngineRecord fromLine(const QString& line);
    // Builds the engine line (the method written as exactly "POST" or "GET").
    QString toLine() const;
};

// The site name of an engine line: the text before the first "=".
QString engineLineName(const QString& line);

// Editor control names, in field order (site name first), as the editor shows them.
extern const std::array<const char*, EngineRecord::FieldCount + 1> EngineControlNames;

} // namespace lb
