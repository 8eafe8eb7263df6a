#include "reports/ReportBrowser.h"

#include "common/AsciiText.h"
#include "common/Dialogs.h"
#include "common/Paths.h"

#include <algorithm>
#include <QDir>

namespace lb {

const QString ReportBrowser::kNoReportsText = QStringLiteral("There ar no Reports to open");
const QString ReportBrowser::kNoReportsCaption = QStringLiteral("No Reports");

ReportBrowser::ReportBrowser(Dialogs& dialogs, QObject* parent)
    : QObject(parent), m_dialogs(dialogs) {}

void ReportBrowser::setFolder(const QString& folder) {
    m_folder = folder;
    m_current = -1;
    reread();
}

void ReportBrowser::reread() {
    const QString keep = currentName();
    QStringList files;
    if (!m_folder.isEmpty())
        files = QDir(m_folder).entryList(QDir::Files | QDir::Hidden, QDir::NoSort);
    // Sorted as a list box sorts: without regard to case, ties by case.
    std::sort(files.begin(), files.end(), [](const QString& a, const QString& b) {
        const int c = asciiCompareIgnoreCase(a, b);
        return c != 0 ? c < 0 : a < b;
    });
    m_model.setStringList(files);
    const int index = keep.isEmpty() ? -1 : int(files.indexOf(keep));
    if (index != m_current) {
        m_current = index;
        emit currentChanged(m_current);
    }
}

QString ReportBrowser::currentName() const {
    const QStringList list = m_model.stringList();
    return m_current >= 0 && m_current < list.size() ? list.at(m_current) : QString();
}

void ReportBrowser::setCurrentIndex(int index) {
    if (index < 0 || index >= m_model.rowCount())
        index = -1;
    if (index == m_current)
        return;
    m_current = index;
    emit currentChanged(m_current);
}

QString ReportBrowser::step(Direction direction) {
    const int count = m_model.rowCount();
    if (count == 0) {
        m_dialogs.inform(kNoReportsText, kNoReportsCaption, Dialogs::Icon::Exclamation);
        return QString();
    }
    int index = m_current < 0 ? 0 : m_current;
    if (direction == Direction::Next && index < count - 1)
        ++index;
    else if (direction == Direction::Back && index > 0)
        --index;
    if (index != m_current) {
        m_current = index;
        emit currentChanged(m_current);
    }
    return pathOf(currentName());
}

QString ReportBrowser::reportPathFor(const QString& sessionName) const {
    if (!isSafeFileName(sessionName))
        return QString();
    return pathOf(sessionName + QStringLiteral(".htm"));
}

QString ReportBrowser::pathOf(const QString& fileName) const {
    if (m_folder.isEmpty() || fileName.isEmpty())
        return QString();
    return appPath(m_folder, fileName);
}

} // namespace lb
