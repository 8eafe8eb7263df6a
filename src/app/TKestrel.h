#pragma once
// The main window "Kestrel English": the top strip (Website panel, clock) and
// the notebook with the pages "About", "Step1 Site Info", "Step2 Session",
// "Step3 Submit", "Submit Results", "Engine Database" and "Help". The state
// lives in SessionStore, EngineDatabase and the objects of KestrelState.h;
// this class builds the controls, binds them and forwards clicks.
#include "app/KestrelState.h"

#include <array>
#include <memory>
#include <QMainWindow>
#include <QTimer>

class QCheckBox;
class QLabel;
class QListView;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace lb {

namespace net {
class THttpCli;
class TSTHttpCli;
} // namespace net

class AutoExtractor;
class Dialogs;
class MemoFollower;
class SubmissionRun;
class SubmissionHost;
class EngineCheckWindow;
class EngineDatabase;
class EngineLines;
class EnginePage;
class IniFile;
class ResultsPage;
class TIndexNow;
class SessionPage;
class SessionStore;
class Spider;
class ThtmlLite;
class TUpdateBox;
class TRAR;
class Updater;
class TSource;
class TMeta_Creator;
class TFFA_Crawler;
class TCustomQ;

class TKestrel : public QMainWindow {
    Q_OBJECT
public:
    // Page indexes of the notebook.
    enum Page {
        AboutPage,
        SiteInfoPage,
        SessionPage2,
        SubmitPage,
        ResultsPageIndex,
        EngineDatabasePage,
        HelpPage
    };

    explicit TKestrel(Dialogs& dialogs, QWidget* parent = nullptr);
    ~TKestrel() override;

    // The other windows, created after this one; the buttons show them.
    void setWindows(TUpdateBox* update, TSource* source, TMeta_Creator* meta, TFFA_Crawler* crawler,
                    TCustomQ* options);

    const QString& AppDir() const { return m_appDir; }
    Dialogs& dialogs() { return m_dialogs; }

    // --- logic the submission run drives ---
    SessionStore& sessions() { return *m_sessions; }
    // The site spider of "(Option) Deep Promote Spider", driving HttpMap.
    Spider& spider() { return *m_spider; }
    EngineDatabase& engines() { return *m_engines; }
    lb::EngineLines& engineLines(); // EngineLines
    IniFile& CategoryIni();
    StatusMemo& memo3() { return m_memo3; } // Memo3
    SubmitPanel& submitPanel() { return m_submit; }
    ProxySettings& proxy() { return m_proxy; }
    NameListModel& subList() { return m_subList; } // "Sessions to submit"
    QItemSelectionModel& subListSelection() { return m_subSel; }
    bool generateReports() const;
    // "I am behind a firewall or proxy" as selected right now (Apply or not).
    bool behindProxySelected() const;
    void setGenerateReports(bool on);
    // The submission run of "Step3 Submit" (its buttons forward here).
    SubmissionRun& submission() { return *m_submission; }
    // The auto extractor of the "Auto Extractor" sheet (it downloads with HTTP9).
    AutoExtractor& extractor() { return *m_extractor; }
    // The HTTP client components: HTTP1, HTTP2, HttpR, HttpMap, HTTP9, HttpCli1, HttpCli2.
    net::THttpCli* httpClient(const QString& name) const;
    net::TSTHttpCli* HttpCli1() const { return m_httpCli1; }
    // RAR1 and the database update behind "DB Update".
    TRAR* RAR1() const { return m_rar; }
    Updater& updater() { return *m_updater; }

    // Shows the engine selected in KeyList in the editor, then lets pending events run.
    void ShowEngine();
    // Switches to the Help page and shows a help file ("\help\submit.htm" ...).
    void showHelp(const QString& relativePath);

    QTabWidget* notebook() const { return m_notebook; }
    ResultsPage* resultsPage() const { return m_results; }
    TIndexNow* indexNowDialog(); // made at first use
    // "Check" on the engine page: the "Engine Check" window, made at first use.
    void showEngineCheck();
    EngineCheckWindow* engineCheckWindow() const { return m_engineCheck; }

    ThtmlLite* helpViewer() const { return m_help; }
    // True when every creation step ran (no file-open error).
    bool createdCompletely() const { return m_createdCompletely; }

signals:
    // The main window was closed: the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void create();
    void loadProxySettings();
    void applyProxyPanel();
    void syncFromSubmission();
    void loadPictureAndIcon();
    QWidget* buildTopStrip();
    QWidget* buildAboutPage();
    QWidget* buildSessionPage();
    QWidget* buildSubmitPage();
    void syncSubmitPanel();
    static QString indicatorStyle(SubmitPanel::Indicator indicator);
    void syncDatabaseChoice();
    void memo3LineAdded();
    void memo3Cleared();
    void pumpAfterMemoLine();
    bool displayDeferred() const;
    void scheduleDisplay();
    void showRunDisplay();
    void updateClock();

    Dialogs& m_dialogs;
    QString m_appDir;
    std::unique_ptr<SessionStore> m_sessions;
    std::unique_ptr<EngineDatabase> m_engines;
    StatusMemo m_memo3;
    SubmitPanel m_submit;
    ProxySettings m_proxy;
    NameListModel m_subList{false};
    QItemSelectionModel m_subSel{&m_subList};
    std::array<net::THttpCli*, 7> m_httpClients{};
    net::TSTHttpCli* m_httpCli1 = nullptr;
    std::unique_ptr<SubmissionHost> m_submissionHost;
    std::unique_ptr<SubmissionRun> m_submission;
    TRAR* m_rar = nullptr;
    std::unique_ptr<Updater> m_updater;
    std::unique_ptr<AutoExtractor> m_extractor;
    std::unique_ptr<Spider> m_spider;
    QItemSelectionModel* m_sesList2Sel = nullptr;
    bool m_createdCompletely = false;
    bool m_syncing = false;

    QTabWidget* m_notebook = nullptr;
    QLabel* m_website = nullptr;
    QLabel* m_clock = nullptr;
    QTimer* m_clockTimer = nullptr;
    QLabel* m_logo = nullptr;
    lb::SessionPage* m_sessionPage = nullptr;
    EnginePage* m_enginePage = nullptr;
    ResultsPage* m_results = nullptr;
    TIndexNow* m_indexNow = nullptr;
    ThtmlLite* m_help = nullptr;
    QRadioButton* m_engineCk = nullptr;
    QRadioButton* m_ranger = nullptr;
    QRadioButton* m_custom = nullptr;
    QRadioButton* m_allEngines = nullptr;
    QCheckBox* m_reports = nullptr;
    QCheckBox* m_batch = nullptr;
    QLabel* m_bcount = nullptr;
    std::array<QLabel*, 4> m_counters{};
    std::array<QProgressBar*, 4> m_bars{};
    QPlainTextEdit* m_memo3View = nullptr;
    std::unique_ptr<MemoFollower> m_memo3Follower;
    QTimer m_displayTimer; // draws a running submission's page
    QLabel* m_speedPanel = nullptr;
    QListWidget* m_speedList = nullptr;
    QPushButton* m_subStop = nullptr;
    QPushButton* m_subStart = nullptr;
    QPushButton* m_subPause = nullptr;
    QPushButton* m_subSlower = nullptr;
    QPushButton* m_subFaster = nullptr;
    QLabel* m_subInd = nullptr;
    int m_shownIndicator = -1; // the indicator colour last given to SubInd

    TUpdateBox* m_updateBox = nullptr;
    TSource* m_source = nullptr;
    TMeta_Creator* m_meta = nullptr;
    TFFA_Crawler* m_crawler = nullptr;
    EngineCheckWindow* m_engineCheck = nullptr; // made at the first "Check"
    TCustomQ* m_options = nullptr;
};

} // namespace lb
