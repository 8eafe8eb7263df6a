#include "common/Paths.h"

namespace lb {

QString appPath(const QString& appDir, const QString& relative) {
    QString rel = relative;
    rel.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!rel.startsWith(QLatin1Char('/')))
        rel.prepend(QLatin1Char('/'));
    QString base = appDir;
    while (base.endsWith(QLatin1Char('/')) && base.size() > 1)
        base.chop(1);
    if (base == QLatin1String("/"))
        return rel;
    return base + rel;
}

bool isSafeFileName(const QString& name) {
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return false;
    return !name.contains(QChar(0));
}

} // namespace lb
