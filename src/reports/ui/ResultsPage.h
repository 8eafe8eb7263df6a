#pragma once
// The "Submit Results" page: the report file list, the report viewer Lite1,
// Back / Next Report, Help and Print.
#include "reports/ReportBrowser.h"

#include <functional>
#include <QWidget>

class QLabel;
class QListView;
class QPrinter;
class QTextEdit;
class QToolButton;
class QPushButton;

namespace lb {

class Dialogs;
class ThtmlLite;

class ResultsPage : public QWidget {
    Q_OBJECT
public:
    static const QString kPrintTitle; // "Submission Report"

    ResultsPage(Dialogs& dialogs, QWidget* parent = nullptr);

    // Points the report file list at a folder (the program folder's
    // "reports") and reads it; links in reports stay inside the program folder.
    void setReportFolder(const QString& folder);
    // Shows one report in Lite1 and its file name in Label20.
    void showReport(const QString& fullPath);
    // The end of a submission run: the list is read again (so the new
    // reports can be browsed) and, when reports were generated, the last
    // session's report is shown.
    void endOfRun(const QString& lastSessionName, bool generateReports);

    ThtmlLite* viewer() const { return m_viewer; }
    ReportBrowser& browser() { return m_browser; }

    // Back / Next Report (BackButton, FarwardButton).
    void stepReport(ReportBrowser::Direction direction);
    // PrintR without the dialog: the report on screen as plain text.
    void printReport(QPrinter& printer);
    // Asks where to print; the default shows the print dialog (which also
    // offers printing to a PDF file). Returns false when the user cancels.
    void setPrinterChooser(std::function<bool(QPrinter&)> chooser);
    void PrintRClick();
    // "Open CSV": the CSV beside the report on screen, in the system's
    // default application; enabled only when that file exists.
    void OpenCsvClick();
    QString csvOfReportOnScreen() const;
    // How a file is opened; the default asks the desktop (tests replace it).
    void setFileOpener(std::function<bool(const QString&)> opener) { m_opener = std::move(opener); }

signals:
    void helpRequested();

private:
    void syncListSelection(int index);

    Dialogs& m_dialogs;
    ReportBrowser m_browser;
    ThtmlLite* m_viewer = nullptr;
    QListView* m_reports = nullptr;
    QLabel* m_label = nullptr;
    QTextEdit* m_printBox = nullptr;
    std::function<bool(QPrinter&)> m_chooser;
    QPushButton* m_openCsv = nullptr;
    QString m_onScreen; // full path of the report shown
    std::function<bool(const QString&)> m_opener;
};

} // namespace lb
