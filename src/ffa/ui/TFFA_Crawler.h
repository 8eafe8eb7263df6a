#pragma once
// The "FFA_Crawler" window: the buttons, check boxes, counters, status bars
// and lists of the FFA crawler, bound to the crawl logic (FfaCrawler).
// Created at start-up, shown from the main window's "Crawler" button.
#include "ffa/CrawlProfile.h"

#include <functional>
#include <memory>
#include <QPointer>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListView;
class QProgressBar;
class QStatusBar;
class QToolButton;
class QTreeWidget;

namespace lb {

class Dialogs;
class FfaCrawler;
class TCustomQ;
struct ProxySettings;

class TFFA_Crawler : public QWidget {
    Q_OBJECT
public:
    explicit TFFA_Crawler(QWidget* parent = nullptr);
    ~TFFA_Crawler() override;

    // What the main window gives: its message boxes, the name of the database
    // it has loaded (Open refuses it) and its proxy, applied to both clients.
    void attach(Dialogs* dialogs, std::function<QString()> loadedDatabase,
                const ProxySettings& proxy);
    // The options window the "Customize Search Engine Queries" button shows.
    void setOptionsWindow(TCustomQ* options) { m_options = options; }
    TCustomQ* optionsWindow() const { return m_options; }
    // Where the crawl profile is read at each moment of use.
    void setProfileSource(std::function<CrawlProfile()> source);

    FfaCrawler& crawler() { return *m_crawler; }
    QLineEdit* Pathtxt() const { return m_pathtxt; } // program folder, filled by the main window
    QToolButton* Customize() const { return m_customize; }

    void CustomizeClick();
    void SiteHelpClick();

signals:
    // A help page (relative to the program folder) for the main window to show.
    void helpRequested(const QString& relativePath);

private:
    class ForwardDialogs;
    void syncButtons();
    void syncCounters();
    void syncView();
    void syncProgress();

    std::unique_ptr<ForwardDialogs> m_dialogs;
    std::unique_ptr<FfaCrawler> m_crawler;
    QPointer<TCustomQ> m_options;

    QToolButton* m_fileNew = nullptr;
    QToolButton* m_openPro = nullptr;
    QToolButton* m_fileSave = nullptr;
    QToolButton* m_subStart = nullptr;
    QToolButton* m_subStop = nullptr;
    QToolButton* m_siteHelp = nullptr;
    QToolButton* m_customize = nullptr;
    QCheckBox* m_engContact = nullptr;
    QCheckBox* m_exOnOff = nullptr;
    QLabel* m_counters[8] = {};
    QProgressBar* m_extractor = nullptr;
    QProgressBar* m_parsing = nullptr;
    QStatusBar* m_statusBar1 = nullptr;
    QStatusBar* m_statusBar2 = nullptr;
    QLabel* m_status1 = nullptr;
    QLabel* m_status2 = nullptr;
    QLineEdit* m_urlAddr = nullptr;
    QLineEdit* m_pathtxt = nullptr;
    QLabel* m_loaded = nullptr;
    QListView* m_keyList = nullptr;
    QTreeWidget* m_formVariables = nullptr;
};

} // namespace lb
