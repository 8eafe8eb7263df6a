#include "app/TKestrel.h"
#include "app/MemoFollower.h"
#include "common/ui/Button.h"
#include "indexnow/ui/TIndexNow.h"

#include "net/HttpProt.h"
#include "submit/DatabaseHost.h"
#include "submit/FormEncoding.h"
#include "submit/ReportWriter.h"
#include "submit/SessionSelection.h"
#include "submit/SpeedSteps.h"
#include "submit/SubmissionRun.h"

#include "common/Dialogs.h"
#include "common/FileError.h"
#include "common/IniFile.h"
#include "common/Paths.h"
#include "common/TlsSettings.h"
#include "engines/EngineDatabase.h"
#include "engines/ui/EnginePage.h"
#include "extractor/AutoExtractor.h"
#include "ffa/FfaCrawler.h"
#include "ffa/ui/TCustomQ.h"
#include "ffa/ui/TFFA_Crawler.h"
#include "meta/ui/TMeta_Creator.h"
#include "reports/ui/HelpPage.h"
#include "reports/ui/ResultsPage.h"
#include "reports/ui/ThtmlLite.h"
#include "sessions/SessionStore.h"
#include "sessions/ui/ProxyPanel.h"
#include "sessions/ui/SessionPage.h"
#include "source/ui/TSource.h"
#include "spider/SiteList.h"
#include "spider/Sitemap.h"
#include "spider/Spider.h"
#include "update/TRAR.h"
#include "update/ui/TUpdateBox.h"
#include "update/Updater.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QLocale>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace lb {

static QLabel* panel(const QString& name, const QString& text, QWidget* parent) {
    auto* p = new QLabel(text, parent);
    p->setObjectName(name);
    p->setFrameShape(QFrame::Panel);
    p->setFrameShadow(QFrame::Sunken);
    p->setAlignment(Qt::AlignCenter);
    return p;
}

static QListView* listView(const QString& name, NameListModel& model, QItemSelectionModel& sel,
                           bool multi, QWidget* parent) {
    auto* v = new QListView(parent);
    v->setObjectName(name);
    v->setModel(&model);
    v->setSelectionModel(&sel);
    v->setEditTriggers(QAbstractItemView::NoEditTriggers);
    v->setUniformItemSizes(true);
    v->setSelectionMode(multi ? QAbstractItemView::ExtendedSelection
                              : QAbstractItemView::SingleSelection);
    return v;
}

// The window side of a submission run: the check boxes, the proxy template,
// the Website panel, the report viewer at the end of a run.
class KestrelHost : public DatabaseHost {
public:
    explicit KestrelHost(TKestrel& w) : DatabaseHost(w.engines()), m_w(w) {}

    EngineRecord showEngine(int index) override {
        m_db.selectKeyListRow(index);
        m_w.ShowEngine();
        return m_db.editor();
    }
    bool generateReports() const override { return m_w.generateReports(); }
    // Read from the radio button at each request, as the user left it.
    bool behindProxy() const override { return m_w.behindProxySelected(); }
    const net::THttpCli* proxyTemplate() const override { return m_w.HttpCli1(); }
    net::THttpCli* batchClient() override { return m_w.httpClient(QStringLiteral("HTTP2")); }
    void showWebsite(const QString& url) override { m_w.submitPanel().setWebsite(url); }
    void runEnded(const QString& lastReport) override {
        m_w.resultsPage()->endOfRun(QFileInfo(lastReport).completeBaseName(),
                                    m_w.generateReports() && !lastReport.isEmpty());
    }
    void showFileError(const QString& message) override { m_w.dialogs().showError(message); }
    void processEvents() override { QCoreApplication::processEvents(); }

private:
    TKestrel& m_w;
};

TKestrel::TKestrel(Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), m_dialogs(dialogs), m_appDir(QDir::currentPath()) {
    setObjectName(QStringLiteral("Kestrel"));
    setWindowTitle(QStringLiteral("Kestrel English"));
    m_sessions = std::make_unique<SessionStore>(m_appDir, dialogs);
    m_engines = std::make_unique<EngineDatabase>(m_appDir, dialogs);

    // The HTTP client components; HttpCli1 is also the template of the
    // per-request clients of a submission run.
    const char* const clientNames[7] = {"HTTP1", "HTTP2",    "HttpR",   "HttpMap",
                                        "HTTP9", "HttpCli1", "HttpCli2"};
    for (int i = 0; i < 7; ++i) {
        net::THttpCli* c =
            i == 5 ? (m_httpCli1 = new net::TSTHttpCli(this)) : new net::THttpCli(this);
        c->setObjectName(QLatin1String(clientNames[i]));
        m_httpClients[std::size_t(i)] = c;
    }
    m_rar = new TRAR(this);
    m_rar->setObjectName(QStringLiteral("RAR1"));
    m_updater = std::make_unique<Updater>(m_appDir, *httpClient(QStringLiteral("HttpCli2")), *m_rar,
                                          dialogs);
    // Yes to loading the new database: "All Engines", as its click does.
    m_updater->loadDatabase = [this] { m_engines->selectAllEngines(); };
    m_extractor =
        std::make_unique<AutoExtractor>(*m_engines, dialogs, *httpClient(QStringLiteral("HTTP9")));
    m_submissionHost = std::make_unique<KestrelHost>(*this);
    m_submission = std::make_unique<SubmissionRun>(m_appDir, *m_submissionHost, dialogs, m_subList);
    connect(m_submission.get(), &SubmissionRun::memoLine, this,
            [this](const QString& line) { m_memo3.add(line); });
    connect(m_submission.get(), &SubmissionRun::memoCleared, this, [this] { m_memo3.clear(); });
    // While a run goes on, its counters and memo lines are drawn at most
    // 25 times a second, not for every request: the handlers pump events
    // after each line, and each pump would paint the page again. A change of
    // the run's state shows everything at once, so the page is exact at rest.
    m_displayTimer.setSingleShot(true);
    m_displayTimer.setInterval(40);
    connect(&m_displayTimer, &QTimer::timeout, this, &TKestrel::showRunDisplay);
    connect(m_submission.get(), &SubmissionRun::stateChanged, this, &TKestrel::showRunDisplay);
    connect(m_submission.get(), &SubmissionRun::countersChanged, this, [this] {
        if (displayDeferred())
            scheduleDisplay();
        else
            syncFromSubmission();
    });

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(buildTopStrip());
    m_notebook = new QTabWidget(central);
    m_notebook->setObjectName(QStringLiteral("Notebook"));
    m_notebook->addTab(buildAboutPage(), QStringLiteral("About"));
    m_spider =
        std::make_unique<Spider>(*m_sessions, dialogs, *httpClient(QStringLiteral("HttpMap")));
    connect(m_spider.get(), &Spider::websiteChanged, this,
            [this](const QString& text) { m_submit.setWebsite(text); });
    // Every finished crawl leaves the sitemap of what it found.
    connect(m_spider.get(), &Spider::crawlFinished, this, [this] {
        const QString key = m_spider->siteKey();
        if (key.isEmpty() || !isSafeFileName(key))
            return;
        try {
            writeSitemap(
                appPath(m_appDir, QStringLiteral("\\sitemaps\\") + key + QStringLiteral(".xml")),
                m_spider->siteList().addedOrder());
        } catch (const FileError& e) {
            m_dialogs.showError(e.message());
        }
    });
    m_sessionPage = new lb::SessionPage(*m_sessions, m_notebook, m_spider.get());
    m_notebook->addTab(m_sessionPage, QStringLiteral("Step1 Site Info"));
    ProxyPanel* proxyPanel = m_sessionPage->proxyPanel();
    connect(proxyPanel, &ProxyPanel::applyClicked, this, &TKestrel::applyProxyPanel);
    connect(proxyPanel, &ProxyPanel::browseClicked, this, [this, proxyPanel] {
        const QString file = m_dialogs.openFileName(
            QStringLiteral("CA file"),
            QStringLiteral("PEM certificates (*.pem *.crt);;All files (*)"), m_appDir);
        if (!file.isEmpty())
            proxyPanel->setCaFile(file);
    });
    m_notebook->addTab(buildSessionPage(), QStringLiteral("Step2 Session"));
    m_notebook->addTab(buildSubmitPage(), QStringLiteral("Step3 Submit"));
    m_results = new ResultsPage(dialogs, m_notebook);
    m_notebook->addTab(m_results, QStringLiteral("Submit Results"));
    m_enginePage = new EnginePage(*m_engines, m_notebook, m_extractor.get());
    m_notebook->addTab(m_enginePage, QStringLiteral("Engine Database"));
    m_help = new ThtmlLite(m_notebook);
    m_help->setObjectName(QStringLiteral("Help1"));
    setUpHelpViewer(*m_help, m_appDir);
    m_notebook->addTab(m_help, QStringLiteral("Help"));
    layout->addWidget(m_notebook, 1);
    setCentralWidget(central);
    resize(900, 640);

    connect(m_sessionPage->helpButton(), &QPushButton::clicked, this,
            [this] { showHelp(QStringLiteral("\\help\\siteinfo.htm")); });
    connect(m_results, &ResultsPage::helpRequested, this,
            [this] { showHelp(QStringLiteral("\\help\\results.htm")); });
    connect(m_enginePage->helpButton(), &QPushButton::clicked, this,
            [this] { showHelp(QStringLiteral("\\help\\manual.htm")); });
    connect(m_sessionPage->metaButton(), &QPushButton::clicked, this, [this] {
        if (!m_meta)
            return;
        m_meta->setWindowIcon(QApplication::windowIcon());
        m_meta->open();
    });
    connect(m_enginePage->crawlerButton(), &QPushButton::clicked, this, [this] {
        if (!m_crawler)
            return;
        m_crawler->Pathtxt()->setText(m_appDir);
        // The options window's store is assigned now, and "default" fetched.
        if (m_options)
            m_options->openStore(m_appDir);
        m_crawler->show();
    });
    connect(m_enginePage->sourceButton(), &QPushButton::clicked, this, [this] {
        if (m_source)
            m_source->VSourceClick(m_engines->editor().name,
                                   m_engines->editor()[EngineRecord::SiteUrl]);
    });
    connect(m_enginePage->updateButton(), &QPushButton::clicked, this, [this] {
        m_updater->host = Updater::configuredHost(m_appDir);
        m_updater->UpdateButtonClick();
    });
    connect(m_updater.get(), &Updater::changed, this,
            [this] { m_enginePage->updateButton()->setEnabled(m_updater->updateEnabled()); });
    m_memo3Follower = std::make_unique<MemoFollower>(m_memo3, *m_memo3View);
    connect(&m_memo3, &StatusMemo::lineAdded, this, &TKestrel::memo3LineAdded);
    connect(&m_memo3, &StatusMemo::cleared, this, &TKestrel::memo3Cleared);
    connect(&m_submit, &SubmitPanel::changed, this, &TKestrel::syncSubmitPanel);
    connect(m_engines.get(), &EngineDatabase::choiceChanged, this, &TKestrel::syncDatabaseChoice);
    connect(m_engines.get(), &EngineDatabase::batchChanged, this, &TKestrel::syncDatabaseChoice);
    connect(m_engines.get(), &EngineDatabase::countChanged, this,
            [this] { m_bcount->setText(QString::number(m_engines->engineCount())); });

    create();
    syncSubmitPanel();
    syncDatabaseChoice();
}

TKestrel::~TKestrel() {
    // The run's clients go before the window's other members.
    m_submission.reset();
    m_extractor.reset();
    m_spider.reset();
}

net::THttpCli* TKestrel::httpClient(const QString& name) const {
    for (net::THttpCli* c : m_httpClients)
        if (c && c->objectName() == name)
            return c;
    return nullptr;
}

void TKestrel::syncFromSubmission() {
    // One redraw of the panel for all that changed, not one per value.
    m_submit.beginChanges();
    const SubmissionRun& r = *m_submission;
    const SubmissionRun::Counters& c = r.counters();
    m_submit.setCounter(SubmitPanel::PostingTo, c.postingTo);
    m_submit.setCounter(SubmitPanel::Submitted, c.submitted);
    m_submit.setCounter(SubmitPanel::Successfull, c.successful);
    m_submit.setCounter(SubmitPanel::Failed, c.failed);
    for (int i = 0; i < 4; ++i) {
        m_submit.setBarMaximum(i, c.barMax);
        m_submit.setBarPosition(i, c.bar[i]);
    }
    m_submit.setSpeedIndex(r.speedIndex());
    m_submit.setStartEnabled(r.startEnabled());
    m_submit.setStopEnabled(r.stopEnabled());
    m_submit.setPauseEnabled(r.pauseEnabled());
    m_submit.setDatabaseButtonsEnabled(r.databaseChoiceEnabled());
    m_submit.setBatchCheckEnabled(r.batchEnabled());
    m_submit.setIndicator(SubmitPanel::Indicator(int(r.indicator())));
    m_submit.endChanges();
}

void TKestrel::applyProxyPanel() {
    // Written only: the running clients keep what they had until the next start.
    try {
        m_sessionPage->proxyPanel()->proxy().save(m_appDir);
        m_sessionPage->proxyPanel()->tls().save(m_appDir);
    } catch (const FileError& e) {
        m_dialogs.showError(e.message());
    }
}

void TKestrel::setWindows(TUpdateBox* update, TSource* source, TMeta_Creator* meta,
                          TFFA_Crawler* crawler, TCustomQ* options) {
    m_updateBox = update;
    if (update) {
        update->setWindowIcon(windowIcon());
        update->bind(m_updater.get());
    }
    m_source = source;
    m_meta = meta;
    if (m_source)
        m_source->attach(m_dialogs, m_proxy);
    if (m_meta)
        m_meta->attach(m_appDir, m_dialogs, m_proxy);
    m_crawler = crawler;
    m_options = options;
    if (m_options) {
        m_options->setDialogs(&m_dialogs);
        connect(m_options, &TCustomQ::helpRequested, this, &TKestrel::showHelp,
                Qt::UniqueConnection);
    }
    if (m_crawler) {
        m_crawler->attach(
            &m_dialogs, [this] { return m_engines->loaded(); }, m_proxy);
        m_crawler->setOptionsWindow(m_options);
        connect(m_crawler, &TFFA_Crawler::helpRequested, this, [this](const QString& page) {
            show();
            raise();
            showHelp(page);
        });
    }
    if (m_crawler && m_options) {
        // The crawler reads the options window's controls at each moment of use.
        QPointer<TCustomQ> options = m_options;
        m_crawler->setProfileSource(
            [options] { return options ? options->crawlProfile() : CrawlProfile(); });
        connect(m_options, &TCustomQ::saved, m_crawler,
                [crawler = m_crawler](const QString& startString, const QString& count) {
                    crawler->crawler().setCurrentString(startString);
                    crawler->crawler().setStringCount(count.toLongLong());
                });
    }
}

lb::EngineLines& TKestrel::engineLines() {
    return m_engines->engineLines();
}
IniFile& TKestrel::CategoryIni() {
    return m_engines->categoryIni();
}

bool TKestrel::behindProxySelected() const {
    return m_sessionPage->proxyPanel()->behindProxySelected();
}

bool TKestrel::generateReports() const {
    return m_reports->isChecked();
}
void TKestrel::setGenerateReports(bool on) {
    m_reports->setChecked(on);
}

// The creation steps in their order. A file that cannot be opened (the
// engine database, the picture or icon, the exclude file) shows its message
// once and the remaining steps are skipped; the window opens as it is.
void TKestrel::create() {
    // An update the program died in is finished or rolled back before the
    // engine lists are read.
    try {
        Updater::recoverInstall(m_appDir);
    } catch (const FileError& e) {
        m_dialogs.showError(e.message());
    }
    try {
        loadProxySettings();                                                         // 2
        m_help->LoadFromFile(appPath(m_appDir, QStringLiteral("\\help\\help.htm"))); // 3
        // 4: the run starts with no clients in flight and NextEngine 0.
        m_submission->setSpeedIndex(DefaultSpeedIndex); // 5; Paused starts cleared
        m_engines->loadStartDatabase();                 // 6
        m_engines->fillKeyListFromLines();              // 7
        m_engines->showFirstEngine();                   // 8
        m_sessions->readIndex();                        // 9 (12: SesList2)
        m_engines->copyKeyListToEngineList();           // 10
        m_results->setReportFolder(appPath(m_appDir, QStringLiteral("\\reports\\"))); // 11
        m_engines->readCategoryLists();                                               // 13
        m_engines->recount();                                                         // 14
        loadPictureAndIcon();                                                         // 15
        m_engines->loadExcludeFile();                                                 // 16
        m_engines->removeIgnoredEngines();                                            // 17, 18
        m_createdCompletely = true;
    } catch (const FileError& e) {
        m_dialogs.showError(e.message());
    }
}

void TKestrel::loadProxySettings() {
    m_proxy = ProxySettings::load(m_appDir);
    if (m_proxy.behindProxy) {
        for (net::THttpCli* c : m_httpClients) {
            c->Proxy = m_proxy.host;
            c->ProxyPort = m_proxy.port;
            c->ProxyUsername = m_proxy.userName;
            c->ProxyPassword = m_proxy.password;
        }
    }
    m_sessionPage->proxyPanel()->showSettings(m_proxy, TlsSettings::load(m_appDir));
}

void TKestrel::loadPictureAndIcon() {
    // The picture first: a missing icon stops the start-up after it.
    const QString logo = appPath(m_appDir, QStringLiteral("\\kwnlogo.bmp"));
    if (!QFile(logo).open(QIODevice::ReadOnly))
        throw FileError::cannotOpen(logo);
    m_logo->setPixmap(QPixmap(logo));
    const QString ico = appPath(m_appDir, QStringLiteral("\\kwnico.ico"));
    if (!QFile(ico).open(QIODevice::ReadOnly))
        throw FileError::cannotOpen(ico);
    const QIcon icon(ico);
    setWindowIcon(icon);
    QApplication::setWindowIcon(icon);
}

QWidget* TKestrel::buildTopStrip() {
    auto* strip = new QWidget(this);
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(4, 2, 4, 2);
    row->addWidget(new QLabel(QStringLiteral("Submitting Url:"), strip));
    m_website = new QLabel(strip);
    m_website->setObjectName(QStringLiteral("Website"));
    m_website->setAutoFillBackground(true);
    QPalette pal = m_website->palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, QColor(0, 255, 0)); // lime
    m_website->setPalette(pal);
    m_website->setStyleSheet(QStringLiteral("background-color: black; color: lime;"));
    row->addWidget(m_website, 1);
    m_clock = panel(QStringLiteral("Clock"), QString(), strip);
    m_clock->setMinimumWidth(160);
    row->addWidget(m_clock);
    m_clockTimer = new QTimer(this);
    m_clockTimer->setInterval(1000);
    connect(m_clockTimer, &QTimer::timeout, this, &TKestrel::updateClock);
    m_clockTimer->start();
    updateClock();
    return strip;
}

void TKestrel::updateClock() {
    // Format "c": the locale's short date and long time, as the reports write it.
    m_clock->setText(reportTimeStamp(QDateTime::currentDateTime()));
}

QWidget* TKestrel::buildAboutPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    m_logo = new QLabel(page);
    m_logo->setObjectName(QStringLiteral("Image1"));
    m_logo->setToolTip(QStringLiteral("Linkbeacon " LB_VERSION));
    m_logo->setScaledContents(true);
    m_logo->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    layout->addWidget(m_logo);
    // The form-field role table of the auto extractor.
    static const char* const names[32] = {
        "URL",     "NEWURL",        "Q",       "QUERY",       "PAGE",        "LINKADDR",
        "EMAIL",   "CONTACT_EMAIL", "FROM",    "REPLY_EMAIL", "NAME",        "CONTACT_NAME",
        "CONTACT", "REALNAME",      "USRNAME", "SECTION",     "SELECTION",   "CATAGORY",
        "TITLE",   "SITENAME",      "URLNAME", "SITETITLE",   "DESCRIPTION", "TEL",
        "PHONE",   "FAX",           "CITY",    "KEYWORDS",    "ZIP",         "STATE",
        "COUNTRY", "ADDRESS"};
    static const char* const roles[32] = {
        "url",      "url",      "url",   "url",      "url",   "url",   "email",       "email",
        "email",    "email",    "name",  "name",     "name",  "name",  "name",        "catagory",
        "catagory", "catagory", "title", "title",    "title", "title", "description", "phone",
        "phone",    "fax",      "city",  "keywords", "zip",   "state", "country",     "address"};
    auto* nameList = new QListWidget(page);
    nameList->setObjectName(QStringLiteral("NameList"));
    auto* valueList = new QListWidget(page);
    valueList->setObjectName(QStringLiteral("ValueList"));
    for (int i = 0; i < 32; ++i) {
        nameList->addItem(QLatin1String(names[i]));
        valueList->addItem(QLatin1String(roles[i]));
    }
    nameList->hide();
    valueList->hide();
    auto* memo2 = new QPlainTextEdit(page);
    memo2->setObjectName(QStringLiteral("Memo2"));
    memo2->hide();
    return page;
}

QWidget* TKestrel::buildSessionPage() {
    EngineDatabase& db = *m_engines;
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* choice = new QGroupBox(page);
    auto* choiceRow = new QHBoxLayout(choice);
    m_engineCk = new QRadioButton(QStringLiteral("Search Engines"), choice);
    m_engineCk->setObjectName(QStringLiteral("EngineCk"));
    m_ranger = new QRadioButton(QStringLiteral("Classifieds/FFA's"), choice);
    m_ranger->setObjectName(QStringLiteral("Ranger"));
    m_custom = new QRadioButton(QStringLiteral("Custom Database"), choice);
    m_custom->setObjectName(QStringLiteral("Custom"));
    m_allEngines = new QRadioButton(QStringLiteral("All Engines"), choice);
    m_allEngines->setObjectName(QStringLiteral("RadioButton1"));
    m_ranger->setChecked(true);
    for (QRadioButton* r : {m_engineCk, m_ranger, m_custom, m_allEngines})
        choiceRow->addWidget(r);
    m_reports = new QCheckBox(QStringLiteral("Generate Reports"), choice);
    m_reports->setObjectName(QStringLiteral("GenReport"));
    m_reports->setChecked(true);
    choiceRow->addWidget(m_reports);
    m_batch = new QCheckBox(QStringLiteral("Include batch  Submissions"), choice);
    m_batch->setObjectName(QStringLiteral("Batch"));
    m_batch->hide();
    choiceRow->addWidget(m_batch);
    auto* encode = new QCheckBox(QStringLiteral("Encode form values"), choice);
    encode->setObjectName(QStringLiteral("EncodeValues"));
    encode->setToolTip(
        QStringLiteral("Send blanks, \"&\" and other special characters of your session so "
                       "that the sites receive them as typed"));
    encode->setChecked(readEncodeValues(m_appDir));
    choiceRow->addWidget(encode);
    layout->addWidget(choice);

    connect(m_engineCk, &QRadioButton::clicked, this, [this] {
        // Runs when it becomes selected, not when it is clicked again.
        if (m_engines->choice() != EngineDatabase::Choice::SearchEngines)
            m_engines->selectSearchEngines();
    });
    connect(m_ranger, &QRadioButton::clicked, this, [this] { m_engines->selectClassifieds(); });
    connect(m_custom, &QRadioButton::clicked, this, [this] { m_engines->selectCustom(); });
    connect(m_allEngines, &QRadioButton::clicked, this, [this] { m_engines->selectAllEngines(); });
    connect(m_batch, &QCheckBox::clicked, this,
            [this](bool on) { m_engines->setBatchIncluded(on); });
    connect(encode, &QCheckBox::clicked, this, [this, encode](bool on) {
        try {
            writeEncodeValues(m_appDir, on);
        } catch (const FileError& e) {
            m_dialogs.showError(e.message());
            encode->setChecked(readEncodeValues(m_appDir));
        }
    });

    auto* sheets = new QTabWidget(page);
    sheets->setObjectName(QStringLiteral("SelectionSheets"));

    auto* sessions = new QWidget;
    auto* sRow = new QHBoxLayout(sessions);
    auto* subBox = new QGroupBox(QStringLiteral("Sessions to submit"), sessions);
    (new QVBoxLayout(subBox))
        ->addWidget(listView(QStringLiteral("SubList"), m_subList, m_subSel, true, subBox));
    auto* arrows = new QVBoxLayout;
    auto* toSubmit = button(QStringLiteral("AddSubmitSession"), QStringLiteral("<"), sessions);
    toSubmit->setToolTip(QStringLiteral("Move selected session to sessions to submit box."));
    auto* fromSubmit = button(QStringLiteral("RemoveSubmitSession"), QStringLiteral(">"), sessions);
    fromSubmit->setToolTip(
        QStringLiteral("Remove selected session from submissions to submit box."));
    arrows->addStretch();
    arrows->addWidget(toSubmit);
    arrows->addWidget(fromSubmit);
    arrows->addStretch();
    auto* savedBox = new QGroupBox(QStringLiteral("Saved Sessions"), sessions);
    m_sesList2Sel = new QItemSelectionModel(&m_sessions->sesList2(), this);
    (new QVBoxLayout(savedBox))
        ->addWidget(listView(QStringLiteral("SesList2"), m_sessions->sesList2(), *m_sesList2Sel,
                             true, savedBox));
    connect(toSubmit, &QPushButton::clicked, this, [this] {
        addSelectedSessions(m_dialogs, m_sessions->sesList2(), *m_sesList2Sel, m_subList);
    });
    connect(fromSubmit, &QPushButton::clicked, this,
            [this] { removeSelectedSessions(m_dialogs, m_subList, m_subSel); });
    sRow->addWidget(subBox, 1);
    sRow->addLayout(arrows);
    sRow->addWidget(savedBox, 1);
    sheets->addTab(sessions, QStringLiteral("Session Selection"));

    auto* engines = new QWidget;
    auto* eGrid = new QGridLayout(engines);
    auto* batchBox = new QGroupBox(QStringLiteral("Batch List"), engines);
    auto* batchSel = new QItemSelectionModel(&db.batchList(), this);
    (new QVBoxLayout(batchBox))
        ->addWidget(
            listView(QStringLiteral("ListBox3"), db.batchList(), *batchSel, false, batchBox));
    auto* countBox = new QGroupBox(QStringLiteral("Engine Count"), engines);
    m_bcount = panel(QStringLiteral("Bcount"), QStringLiteral("0"), countBox);
    (new QVBoxLayout(countBox))->addWidget(m_bcount);
    auto* excludeBox = new QGroupBox(QStringLiteral("Engine Ignore List"), engines);
    (new QVBoxLayout(excludeBox))
        ->addWidget(listView(QStringLiteral("ExcludeList"), db.excludeList(),
                             db.excludeListSelection(), true, excludeBox));
    auto* submitBox = new QGroupBox(QStringLiteral("Engine Submit List"), engines);
    (new QVBoxLayout(submitBox))
        ->addWidget(listView(QStringLiteral("EngineList"), db.engineList(),
                             db.engineListSelection(), true, submitBox));
    auto* ignoreArrows = new QVBoxLayout;
    auto* ignore = button(QStringLiteral("IgnoreEngine"), QStringLiteral("<"), engines);
    auto* unignore = button(QStringLiteral("UnignoreEngine"), QStringLiteral(">"), engines);
    ignoreArrows->addStretch();
    ignoreArrows->addWidget(ignore);
    ignoreArrows->addWidget(unignore);
    ignoreArrows->addStretch();
    eGrid->addWidget(batchBox, 0, 0);
    eGrid->addWidget(countBox, 1, 0);
    eGrid->addWidget(excludeBox, 0, 1, 2, 1);
    eGrid->addLayout(ignoreArrows, 0, 2, 2, 1);
    eGrid->addWidget(submitBox, 0, 3, 2, 1);
    sheets->addTab(engines, QStringLiteral("Search Engine Selection"));
    layout->addWidget(sheets, 1);

    connect(ignore, &QPushButton::clicked, this, [this] { m_engines->ignoreSelected(); });
    connect(unignore, &QPushButton::clicked, this, [this] { m_engines->unignoreSelected(); });

    auto* help = button(QStringLiteral("SessionHelp"), QStringLiteral("Help"), page);
    connect(help, &QPushButton::clicked, this,
            [this] { showHelp(QStringLiteral("\\help\\session.htm")); });
    layout->addWidget(help, 0, Qt::AlignRight);
    return page;
}

QWidget* TKestrel::buildSubmitPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* grid = new QGridLayout;
    const char* const names[4] = {"Posting_to", "Submitted", "Successfull", "Failed"};
    const char* const captions[4] = {"Posting to:", "Submitting:", "Successful:", "Failed:"};
    const char* const barCaptions[4] = {"Posting to: Progress", "Submitted: Progress", "Successful",
                                        "Failed"};
    for (int i = 0; i < 4; ++i) {
        grid->addWidget(new QLabel(QLatin1String(captions[i]), page), i, 0);
        m_counters[i] = panel(QLatin1String(names[i]), QStringLiteral("0"), page);
        grid->addWidget(m_counters[i], i, 1);
        m_bars[i] = new QProgressBar(page);
        m_bars[i]->setObjectName(QStringLiteral("Bar%1").arg(i + 1));
        m_bars[i]->setAccessibleName(QLatin1String(barCaptions[i]));
        m_bars[i]->setRange(0, 100);
        m_bars[i]->setValue(0);
        grid->addWidget(m_bars[i], i, 2);
    }
    layout->addLayout(grid);
    m_memo3View = new QPlainTextEdit(page);
    m_memo3View->setObjectName(QStringLiteral("Memo3"));
    m_memo3View->setReadOnly(true);
    layout->addWidget(m_memo3View, 1);

    auto* row = new QHBoxLayout;
    m_subStop = button(QStringLiteral("SubStop"), QStringLiteral("Stop"), page);
    m_subStart = button(QStringLiteral("SubStart"), QStringLiteral("Start"), page);
    m_subPause = button(QStringLiteral("SubPause"), QStringLiteral("Pause"), page);
    m_subSlower = button(QStringLiteral("SubSlower"), QStringLiteral("Slower"), page);
    m_speedPanel = panel(QStringLiteral("SpeedPanel"), QStringLiteral("25"), page);
    m_speedPanel->setMinimumWidth(40);
    m_subFaster = button(QStringLiteral("SubFaster"), QStringLiteral("Faster"), page);
    auto* help = button(QStringLiteral("SubHelp"), QStringLiteral("Help"), page);
    auto* indexNow = button(QStringLiteral("SubIndexNow"), QStringLiteral("IndexNow"), page);
    connect(indexNow, &QPushButton::clicked, this, [this] {
        TIndexNow* d = indexNowDialog();
        d->loadSettings();
        d->show();
        d->raise();
    });
    m_subInd = new QLabel(page);
    m_subInd->setObjectName(QStringLiteral("SubInd"));
    m_subInd->setFixedSize(20, 20);
    m_subInd->setAutoFillBackground(true);
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_subStop, m_subStart, m_subPause, m_subSlower,
                                         m_speedPanel, m_subFaster, help, indexNow, m_subInd})
        row->addWidget(w);
    layout->addLayout(row);
    m_speedList = new QListWidget(page);
    m_speedList->setObjectName(QStringLiteral("SpeedList"));
    m_speedList->addItems(SubmitPanel::speedSteps());
    m_speedList->hide();
    connect(help, &QPushButton::clicked, this,
            [this] { showHelp(QStringLiteral("\\help\\submit.htm")); });
    connect(m_subStart, &QPushButton::clicked, this, [this] { m_submission->start(); });
    connect(m_subStop, &QPushButton::clicked, this, [this] { m_submission->stop(); });
    connect(m_subPause, &QPushButton::clicked, this, [this] { m_submission->pause(); });
    connect(m_subSlower, &QPushButton::clicked, this, [this] { m_submission->slower(); });
    connect(m_subFaster, &QPushButton::clicked, this, [this] { m_submission->faster(); });
    return page;
}

void TKestrel::syncSubmitPanel() {
    for (int i = 0; i < 4; ++i) {
        m_counters[i]->setText(QString::number(m_submit.counter(SubmitPanel::Counter(i))));
        m_bars[i]->setMaximum(m_submit.barMaximum(i));
        m_bars[i]->setValue(qBound(0, m_submit.barPosition(i), m_submit.barMaximum(i)));
    }
    m_speedList->setCurrentRow(m_submit.speedIndex());
    m_speedPanel->setText(m_submit.speedText());
    m_subStart->setEnabled(m_submit.startEnabled());
    m_subStop->setEnabled(m_submit.stopEnabled());
    m_subPause->setEnabled(m_submit.pauseEnabled());
    for (QRadioButton* r : {m_engineCk, m_ranger, m_custom, m_allEngines})
        r->setEnabled(m_submit.databaseButtonsEnabled());
    m_batch->setEnabled(m_submit.batchCheckEnabled());
    // A style sheet is costly to apply; the colour changes only with the state.
    if (int(m_submit.indicator()) != m_shownIndicator) {
        m_shownIndicator = int(m_submit.indicator());
        m_subInd->setStyleSheet(indicatorStyle(m_submit.indicator()));
    }
    m_website->setText(m_submit.website());
}

QString TKestrel::indicatorStyle(SubmitPanel::Indicator indicator) {
    const char* colour = "transparent";
    switch (indicator) {
    case SubmitPanel::Indicator::Idle:
        break;
    case SubmitPanel::Indicator::Running:
        colour = "lime";
        break;
    case SubmitPanel::Indicator::Paused:
        colour = "yellow";
        break;
    case SubmitPanel::Indicator::Ended:
        colour = "red";
        break;
    }
    return QStringLiteral("background-color: %1;").arg(QLatin1String(colour));
}

void TKestrel::syncDatabaseChoice() {
    QRadioButton* r = m_ranger;
    switch (m_engines->choice()) {
    case EngineDatabase::Choice::SearchEngines:
        r = m_engineCk;
        break;
    case EngineDatabase::Choice::Classifieds:
        break;
    case EngineDatabase::Choice::Custom:
        r = m_custom;
        break;
    case EngineDatabase::Choice::AllEngines:
        r = m_allEngines;
        break;
    }
    r->setChecked(true);
    m_batch->setChecked(m_engines->batchIncluded());
    m_bcount->setText(QString::number(m_engines->engineCount()));
}

bool TKestrel::displayDeferred() const {
    return m_submission && m_submission->running();
}

void TKestrel::memo3LineAdded() {
    m_memo3Follower->lineAdded();
    if (displayDeferred())
        scheduleDisplay();
    else
        m_memo3Follower->show();
    pumpAfterMemoLine();
}

void TKestrel::memo3Cleared() {
    m_memo3Follower->cleared();
    pumpAfterMemoLine();
}

void TKestrel::scheduleDisplay() {
    if (!m_displayTimer.isActive())
        m_displayTimer.start();
}

void TKestrel::showRunDisplay() {
    m_displayTimer.stop();
    if (m_memo3Follower)
        m_memo3Follower->show();
    syncFromSubmission();
}

void TKestrel::pumpAfterMemoLine() {
    // The display keeps up while a run fills the memo.
    QCoreApplication::processEvents();
}

void TKestrel::ShowEngine() {
    m_engines->ShowEngine();
    QCoreApplication::processEvents();
}

void TKestrel::showHelp(const QString& relativePath) {
    m_notebook->setCurrentIndex(HelpPage);
    m_help->LoadFromFile(appPath(m_appDir, relativePath));
}

void TKestrel::closeEvent(QCloseEvent* event) {
    // Nothing to save: every store was written when it changed.
    m_submission->stopWatchdog();
    m_clockTimer->stop();
    // A download of the auto extractor would otherwise keep the program waiting.
    m_extractor->StopdaClick();
    QMainWindow::closeEvent(event);
    emit closed();
}

} // namespace lb

namespace lb {

TIndexNow* TKestrel::indexNowDialog() {
    if (!m_indexNow) {
        m_indexNow = new TIndexNow(m_appDir, m_dialogs, this);
        m_indexNow->setWindowFlag(Qt::Window);
        m_indexNow->sessionsToSubmit = [this] { return m_subList.names(); };
        m_indexNow->memoLine = [this](const QString& line) { m_memo3.add(line); };
        m_indexNow->reportWritten = [this](const QString& path) {
            m_results->endOfRun(QFileInfo(path).completeBaseName(), true);
        };
    }
    return m_indexNow;
}

} // namespace lb
