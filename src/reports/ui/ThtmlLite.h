#pragma once
// The HTML viewer control of the help pages and reports: loads a file by its
// full path, keeps a history, and reports clicks on links before following them.
#include <QTextBrowser>

namespace lb {

class ThtmlLite : public QTextBrowser {
    Q_OBJECT
public:
    explicit ThtmlLite(QWidget* parent = nullptr);

    // Shows the file; false when it cannot be read (the view is left as it was).
    bool LoadFromFile(const QString& fullPath);
    QString CurrentFile() const { return m_currentFile; }

signals:
    // Fired before a link is followed; a handler that sets *handled stops it.
    void HotSpotClick(const QString& url, bool* handled);

private:
    QString m_currentFile;
};

} // namespace lb
