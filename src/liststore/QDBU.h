#pragma once
// TQDBItem: items made of typed fields. A new item's key comes from the
// owner through OnKey, asked at the moment the item is stored.
#include "liststore/QDB.h"

#include <functional>
#include <QList>

namespace lb {

class TQDBItem : public TQDB {
public:
    // Answers the key of an item being stored.
    std::function<QString()> OnKey;

    // The current item's fields; a field running past the body makes the item
    // unreadable ("not a valid QDB file").
    QList<QByteArray> fetchFields();
    QList<QByteArray> fieldsOf(int index);
    // Stores FIELDS as a new item under the key OnKey gives.
    void storeFields(const QList<QByteArray>& fields);
    // Replaces the current item's fields, keeping its key.
    void replaceFields(const QList<QByteArray>& fields);

    // Field encodings of the simple types.
    static QByteArray stringField(const QString& s);
    static QString stringOf(const QByteArray& field);
    static QByteArray integerField(qint32 v);
    static qint32 integerOf(const QByteArray& field);
    static QByteArray booleanField(bool v);
    static bool booleanOf(const QByteArray& field);

protected:
    QString keyFromOwner() const;
    QList<QByteArray> parse(const QByteArray& body) const;
};

} // namespace lb
