#include "reports/ui/ResultsPage.h"

#include "common/Dialogs.h"

#include "reports/ui/ThtmlLite.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTextEdit>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace lb {

const QString ResultsPage::kPrintTitle = QStringLiteral("Submission Report");

ResultsPage::ResultsPage(Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), m_dialogs(dialogs), m_browser(dialogs) {
    auto* layout = new QVBoxLayout(this);

    auto* group = new QGroupBox(QStringLiteral("Finished Submissions Generated Reports"), this);
    auto* groupLayout = new QVBoxLayout(group);
    m_viewer = new ThtmlLite(group);
    m_viewer->setObjectName(QStringLiteral("Lite1"));
    m_viewer->SetViewImages(false);
    m_viewer->SetHistoryMaxCount(100);
    m_viewer->SetDefFontName(QStringLiteral("Times New Roman"));
    m_viewer->SetDefPreFontName(QStringLiteral("Courier New"));
    m_viewer->SetDefBackground(Qt::white);
    groupLayout->addWidget(m_viewer);
    layout->addWidget(group, 1);

    // The file list only carries the current report; it is not for the eye.
    m_reports = new QListView(group);
    m_reports->setObjectName(QStringLiteral("reports"));
    m_reports->setFixedSize(57, 9);
    m_reports->setModel(m_browser.model());
    m_reports->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_reports->hide();

    m_printBox = new QTextEdit(this);
    m_printBox->setObjectName(QStringLiteral("PrintBox"));
    m_printBox->setLineWrapMode(QTextEdit::NoWrap);
    m_printBox->setAcceptRichText(false);
    m_printBox->hide();

    auto* row = new QHBoxLayout;
    auto* back = new QToolButton(this);
    back->setObjectName(QStringLiteral("BackButton"));
    back->setArrowType(Qt::LeftArrow);
    back->setToolTip(QStringLiteral("Back"));
    auto* next = new QToolButton(this);
    next->setObjectName(QStringLiteral("FarwardButton"));
    next->setArrowType(Qt::RightArrow);
    next->setToolTip(QStringLiteral("Next Report"));
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("Label20"));
    auto* help = new QPushButton(QStringLiteral("Help"), this);
    help->setObjectName(QStringLiteral("ResHelp"));
    help->setToolTip(QStringLiteral("Jump to help"));
    auto* print = new QPushButton(QStringLiteral("Print"), this);
    print->setObjectName(QStringLiteral("PrintR"));
    row->addWidget(back);
    row->addWidget(next);
    row->addWidget(m_label, 1);
    m_openCsv = new QPushButton(QStringLiteral("Open CSV"), this);
    m_openCsv->setObjectName(QStringLiteral("OpenCsv"));
    m_openCsv->setToolTip(QStringLiteral("Open this report's results in your spreadsheet program"));
    m_openCsv->setEnabled(false);
    row->addWidget(m_openCsv);
    row->addWidget(help);
    row->addWidget(print);
    layout->addLayout(row);

    connect(back, &QToolButton::clicked, this,
            [this] { stepReport(ReportBrowser::Direction::Back); });
    connect(next, &QToolButton::clicked, this,
            [this] { stepReport(ReportBrowser::Direction::Next); });
    connect(help, &QPushButton::clicked, this, &ResultsPage::helpRequested);
    connect(print, &QPushButton::clicked, this, &ResultsPage::PrintRClick);
    connect(m_openCsv, &QPushButton::clicked, this, &ResultsPage::OpenCsvClick);
    m_opener = [](const QString& path) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    };
    connect(&m_browser, &ReportBrowser::currentChanged, this, &ResultsPage::syncListSelection);

    m_chooser = [this](QPrinter& printer) {
        QPrintDialog dialog(&printer, this);
        return dialog.exec() == QDialog::Accepted;
    };
}

void ResultsPage::setReportFolder(const QString& folder) {
    m_browser.setFolder(folder);
    // Reports live one level below the program folder; their links may
    // reach its other files (help pages) but nothing outside it.
    m_viewer->SetServerRoot(QFileInfo(QDir::cleanPath(folder)).absolutePath());
}

void ResultsPage::showReport(const QString& fullPath) {
    m_label->setText(QFileInfo(fullPath).fileName());
    m_viewer->LoadFromFile(fullPath);
    m_onScreen = fullPath;
    m_openCsv->setEnabled(QFileInfo(csvOfReportOnScreen()).isFile());
}

QString ResultsPage::csvOfReportOnScreen() const {
    if (m_onScreen.isEmpty())
        return QString();
    const QFileInfo report(m_onScreen);
    return report.absolutePath() + QLatin1Char('/') + report.completeBaseName() +
           QStringLiteral(".csv");
}

void ResultsPage::OpenCsvClick() {
    const QString csv = csvOfReportOnScreen();
    if (csv.isEmpty() || !QFileInfo(csv).isFile()) {
        m_openCsv->setEnabled(false);
        return;
    }
    if (m_opener && !m_opener(csv))
        m_dialogs.inform(QStringLiteral("No program is set up to open ") +
                             QDir::toNativeSeparators(csv),
                         QStringLiteral("Open CSV"));
}

void ResultsPage::endOfRun(const QString& lastSessionName, bool generateReports) {
    m_browser.reread();
    m_reports->update();
    if (!generateReports)
        return;
    const QString path = m_browser.reportPathFor(lastSessionName);
    if (!path.isEmpty())
        showReport(path);
}

void ResultsPage::stepReport(ReportBrowser::Direction direction) {
    const QString path = m_browser.step(direction);
    if (!path.isEmpty())
        showReport(path);
}

void ResultsPage::syncListSelection(int index) {
    m_reports->setCurrentIndex(m_browser.model()->index(index, 0));
}

void ResultsPage::printReport(QPrinter& printer) {
    m_printBox->clear();
    m_viewer->SelectAll();
    m_printBox->setPlainText(m_viewer->SelText());
    m_viewer->SetSelLength(0);
    m_viewer->SetCaretPos(0);
    printer.setDocName(kPrintTitle);
    m_printBox->print(&printer);
}

void ResultsPage::setPrinterChooser(std::function<bool(QPrinter&)> chooser) {
    m_chooser = std::move(chooser);
}

void ResultsPage::PrintRClick() {
    QPrinter printer;
    printer.setDocName(kPrintTitle);
    if (m_chooser && !m_chooser(printer))
        return;
    printReport(printer);
}

} // namespace lb
