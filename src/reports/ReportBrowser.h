#pragma once
// The report list of the "Submit Results" page: the files of the reports
// folder, sorted by name, with the current report, and the rules of the Back
// and Next Report buttons. The page shows what this holds.
#include <QObject>
#include <QString>
#include <QStringList>
#include <QStringListModel>

namespace lb {

class Dialogs;

class ReportBrowser : public QObject {
    Q_OBJECT
public:
    enum class Direction { Back, Next };

    static const QString kNoReportsText;    // "There ar no Reports to open"
    static const QString kNoReportsCaption; // "No Reports"

    explicit ReportBrowser(Dialogs& dialogs, QObject* parent = nullptr);

    // Points the list at a folder and reads its file names; nothing selected.
    void setFolder(const QString& folder);
    QString folder() const { return m_folder; }
    // Reads the folder again, keeping the current report when it is still there.
    void reread();

    QStringList names() const { return m_model.stringList(); }
    // The list the page's hidden `reports` view shows.
    QStringListModel* model() { return &m_model; }

    int currentIndex() const { return m_current; }
    QString currentName() const;
    void setCurrentIndex(int index); // -1 or out of range: nothing selected

    // Back / Next Report. Returns the full path of the report to show, or an
    // empty string after telling the user there is none.
    QString step(Direction direction);

    // Full path of a session's report in the folder; empty when the name
    // would lead outside it.
    QString reportPathFor(const QString& sessionName) const;
    QString pathOf(const QString& fileName) const;

signals:
    void currentChanged(int index);

private:
    Dialogs& m_dialogs;
    QString m_folder;
    QStringListModel m_model;
    int m_current = -1;
};

} // namespace lb
