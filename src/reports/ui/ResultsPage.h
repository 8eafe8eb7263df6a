#pragma once
// The "Submit Results" page: the report file list, the report viewer Lite1,
// Back / Next Report, Help and Print.
#include <QWidget>

namespace lb {

class Dialogs;
class ThtmlLite;

class ResultsPage : public QWidget {
    Q_OBJECT
public:
    ResultsPage(Dialogs& dialogs, QWidget* parent = nullptr);

    // Points the report file list at a folder ("\reports\" of the program folder).
    void setReportFolder(const QString& folder);
    // Refreshes the list and shows one report (the end of a run shows the last one).
    void showReport(const QString& fullPath);
    ThtmlLite* viewer() const { return m_viewer; }

signals:
    void helpRequested();

private:
    Dialogs& m_dialogs;
    ThtmlLite* m_viewer = nullptr;
    QString m_folder;
};

} // namespace lb
