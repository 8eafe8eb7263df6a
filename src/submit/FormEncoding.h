#pragma once
// Form values as they go on the wire. Encoded (the default): each value
// becomes its application/x-www-form-urlencoded form, so a blank or an "&"
// in a title no longer breaks the request. Key "EncodeValues" of our section
// "Submit" of "zkt.ini" set to exactly "0" sends the raw strings instead.
#include <QString>

namespace lb {

// UTF-8 bytes; A-Z a-z 0-9 * - . _ kept, blank as "+", the rest as %XX.
QString formEncode(const QString& value);

// Read when a run starts: false only for exactly "0" (after trimming).
bool readEncodeValues(const QString& appDir);
// Writes "1" or "0"; throws FileError when "zkt.ini" cannot be written.
void writeEncodeValues(const QString& appDir, bool encode);

} // namespace lb
