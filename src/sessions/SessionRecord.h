#pragma once
// One saved session: its name and 32 text fields, stored in its own INI file
// "\data\session\" + name + ".hlx", section = the name.
#include <array>
#include <QString>
#include <QStringList>

namespace lb {

struct SessionRecord {
    enum Field {
        Url,
        Title,
        Email,
        Description,
        Category,
        FirstName,
        LastName,
        Company,
        Address1,
        Address2,
        Country,
        City,
        State,
        Phone,
        Fax,
        Zip,
        Key1, // Key1 + k for keyword k+1
        Key16 = Key1 + 15,
        FieldCount
    };
    static_assert(FieldCount == 32);

    QString name;
    std::array<QString, FieldCount> fields;

    QString& operator[](int f) { return fields[std::size_t(f)]; }
    const QString& operator[](int f) const { return fields[std::size_t(f)]; }
    bool operator==(const SessionRecord&) const = default;
};

// Keys in the session file, in the order a save writes them.
const QStringList& sessionKeys();
// Editor control names (objectName), labels and longest accepted texts (0: no limit).
const QStringList& sessionControlNames();
const QStringList& sessionLabels();
int sessionMaxLength(int field);
// The category drop-down's items, in their order ("Miscellaneous" twice).
const QStringList& sessionCategories();

} // namespace lb
