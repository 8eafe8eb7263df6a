#include "reports/ui/ThtmlLite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace lb {

ThtmlLite::ThtmlLite(QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        bool handled = false;
        emit HotSpotClick(url.toString(), &handled);
        if (handled)
            return;
        const QString local = url.isRelative()
                                  ? QFileInfo(m_currentFile).absoluteDir().filePath(url.path())
                                  : url.toLocalFile();
        if (!local.isEmpty())
            LoadFromFile(local);
    });
}

bool ThtmlLite::LoadFromFile(const QString& fullPath) {
    QFile file(fullPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    m_currentFile = QFileInfo(fullPath).absoluteFilePath();
    setSearchPaths({QFileInfo(fullPath).absolutePath()});
    setSource(QUrl::fromLocalFile(m_currentFile));
    return true;
}

} // namespace lb
