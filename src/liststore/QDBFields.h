#pragma once
// Typed item bodies: a sequence of fields, each a 32-bit little-endian length
// L and L bytes; a field with L of 0 or less is empty.
#include <optional>
#include <QByteArray>
#include <QList>

namespace lb::qdb {

QByteArray packFields(const QList<QByteArray>& fields);
// Nothing when a length or a field runs past the end of the body.
std::optional<QList<QByteArray>> unpackFields(const QByteArray& body);
// A Boolean item value: a first field (or the whole body) of 1 (as a byte or
// a little-endian number), "1", "-1", "true" or "yes" is true.
bool booleanValue(const QByteArray& body);

} // namespace lb::qdb
