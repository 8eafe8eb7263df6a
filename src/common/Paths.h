#pragma once
// Program-folder paths. Stores name their files the way the program always
// has ("\data\session\" + name + ".hlx"); this turns such a name into a path
// under the program folder on this system.
#include <QString>

namespace lb {

// AppDir + a relative path that begins with a backslash (or a slash).
QString appPath(const QString& appDir, const QString& relative);

// A name that becomes part of a file name must stay inside its folder:
// no "/" or "\", no "." or ".." as the whole name, not empty.
bool isSafeFileName(const QString& name);

} // namespace lb
