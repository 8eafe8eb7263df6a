#include "liststore/QDBU.h"

#include "common/AsciiText.h"
#include "liststore/QDBFields.h"

#include <QtEndian>

namespace lb {

QList<QByteArray> TQDBItem::parse(const QByteArray& body) const {
    auto fields = qdb::unpackFields(body);
    if (!fields)
        throw EQDBFileError(-1, fileName(), qdbtext::invalidFile(fileName()));
    return *fields;
}

QList<QByteArray> TQDBItem::fetchFields() {
    return parse(currentItem());
}

QList<QByteArray> TQDBItem::fieldsOf(int index) {
    return parse(readItem(index));
}

QString TQDBItem::keyFromOwner() const {
    if (!OnKey)
        throw EQDBKeyError(qdbtext::noKeyHandler());
    return OnKey();
}

void TQDBItem::storeFields(const QList<QByteArray>& fields) {
    requireFile();
    addItem(keyFromOwner(), qdb::packFields(fields));
}

void TQDBItem::replaceFields(const QList<QByteArray>& fields) {
    changeCurrent(qdb::packFields(fields));
}

QByteArray TQDBItem::stringField(const QString& s) {
    return s.toUtf8();
}
QString TQDBItem::stringOf(const QByteArray& field) {
    return decodeText(field);
}
QByteArray TQDBItem::integerField(qint32 v) {
    char b[4];
    qToLittleEndian<qint32>(v, b);
    return QByteArray(b, 4);
}
qint32 TQDBItem::integerOf(const QByteArray& field) {
    return field.size() >= 4 ? qFromLittleEndian<qint32>(field.constData()) : 0;
}
QByteArray TQDBItem::booleanField(bool v) {
    return QByteArray(1, v ? '\x01' : '\0');
}
bool TQDBItem::booleanOf(const QByteArray& field) {
    return !field.isEmpty() && field[0] != '\0';
}

} // namespace lb
