#include "ffa/ui/TFFA_Crawler.h"

#include "common/ProxySettings.h"
#include "common/ui/QtDialogs.h"
#include "ffa/FfaCrawler.h"
#include "ffa/FfaForm.h"
#include "ffa/ui/TCustomQ.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace lb {

// Messages go to the main window's dialogs once it has given them, to
// message boxes of this window until then.
class TFFA_Crawler::ForwardDialogs : public Dialogs {
public:
    explicit ForwardDialogs(QWidget* parent) : m_own(parent) {}
    Dialogs* target = nullptr;
    Dialogs& to() { return target ? *target : m_own; }
    void inform(const QString& text, const QString& caption, Icon icon) override {
        to().inform(text, caption, icon);
    }
    bool askYesNo(const QString& text, const QString& caption) override {
        return to().askYesNo(text, caption);
    }
    void showError(const QString& text) override { to().showError(text); }
    QString openFileName(const QString& title, const QString& filter,
                         const QString& startDir) override {
        return to().openFileName(title, filter, startDir);
    }
    QString saveFileName(const QString& title, const QString& filter, const QString& startDir,
                         const QString& suffix) override {
        return to().saveFileName(title, filter, startDir, suffix);
    }

private:
    QtDialogs m_own;
};

namespace {

QToolButton* speedButton(QWidget* parent, const char* name, const QString& text,
                         const QString& hint) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(text);
    b->setToolTip(hint);
    b->setAutoRaise(true);
    return b;
}

QListView* listBox(QWidget* parent, const char* name, QAbstractItemModel* model) {
    auto* v = new QListView(parent);
    v->setObjectName(QString::fromLatin1(name));
    v->setModel(model);
    v->setEditTriggers(QAbstractItemView::NoEditTriggers);
    v->setUniformItemSizes(true);
    return v;
}

const char* const kCounterNames[8] = {"Bcount",  "Panel5",  "Panel6",  "Panel14",
                                      "Panel13", "Panel10", "Panel11", "Panel12"};
const char* const kCounterCaptions[8] = {"Links to Crawl", "Crawled",      "Engine Queries",
                                         "Quries left",    "String Count", "Current String",
                                         "Links Saved",    "Rejected"};

} // namespace

TFFA_Crawler::TFFA_Crawler(QWidget* parent)
    : QWidget(parent, Qt::Window), m_dialogs(std::make_unique<ForwardDialogs>(this)) {
    setObjectName(QStringLiteral("FFA_Crawler"));
    setWindowTitle(QStringLiteral("FFA_Crawler"));
    m_crawler = std::make_unique<FfaCrawler>(*m_dialogs);
    FfaCrawler& c = *m_crawler;

    auto* root = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    m_fileNew =
        speedButton(this, "FileNew", QStringLiteral("New"), QStringLiteral("Create New Database"));
    m_openPro =
        speedButton(this, "OpenPro", QStringLiteral("Open"), QStringLiteral("Open database"));
    m_fileSave = speedButton(this, "FileSave", QStringLiteral("Save"),
                             QStringLiteral("Save current database"));
    m_subStart =
        speedButton(this, "SubStart", QStringLiteral("Start"), QStringLiteral("Start Crawler"));
    m_subStop =
        speedButton(this, "SubStop", QStringLiteral("Stop"), QStringLiteral("Stop Crawler"));
    m_siteHelp =
        speedButton(this, "SiteHelp", QStringLiteral("Help"), QStringLiteral("Jump to help."));
    m_customize = speedButton(this, "Customize", QStringLiteral("Customize Search Engine Queries"),
                              QString());
    for (QToolButton* b :
         {m_fileNew, m_openPro, m_fileSave, m_subStart, m_subStop, m_siteHelp, m_customize})
        bar->addWidget(b);
    bar->addStretch();
    root->addLayout(bar);

    auto* middle = new QHBoxLayout;
    auto* options = new QGroupBox(QStringLiteral("Crawler Options"), this);
    auto* optionsLayout = new QVBoxLayout(options);
    m_engContact = new QCheckBox(QStringLiteral("Contact Engine Only When Needed"), options);
    m_engContact->setObjectName(QStringLiteral("EngContact"));
    m_engContact->setChecked(true);
    m_exOnOff = new QCheckBox(QStringLiteral("Extractor ON/OFF"), options);
    m_exOnOff->setObjectName(QStringLiteral("ExOn_Off"));
    m_exOnOff->setChecked(true);
    optionsLayout->addWidget(m_engContact);
    optionsLayout->addWidget(m_exOnOff);
    auto* barsBox = new QWidget(options);
    auto* barsLayout = new QGridLayout(barsBox);
    barsLayout->setContentsMargins(0, 0, 0, 0);
    m_extractor = new QProgressBar(barsBox);
    m_extractor->setObjectName(QStringLiteral("Extractor"));
    m_parsing = new QProgressBar(barsBox);
    m_parsing->setObjectName(QStringLiteral("Parsing"));
    for (QProgressBar* p : {m_extractor, m_parsing}) {
        p->setRange(0, 1000);
        p->setValue(0);
        p->setTextVisible(false);
    }
    barsLayout->addWidget(new QLabel(QStringLiteral("Link Extractor"), barsBox), 0, 0);
    barsLayout->addWidget(m_extractor, 0, 1);
    barsLayout->addWidget(new QLabel(QStringLiteral("Form Parser"), barsBox), 1, 0);
    barsLayout->addWidget(m_parsing, 1, 1);
    optionsLayout->addWidget(barsBox);
    middle->addWidget(options);

    auto* numbers = new QGroupBox(QStringLiteral("Crawler Number Status"), this);
    auto* grid = new QGridLayout(numbers);
    for (int i = 0; i < 8; ++i) {
        m_counters[i] = new QLabel(QStringLiteral("0"), numbers);
        m_counters[i]->setObjectName(QString::fromLatin1(kCounterNames[i]));
        m_counters[i]->setFrameShape(QFrame::Panel);
        m_counters[i]->setFrameShadow(QFrame::Sunken);
        m_counters[i]->setMinimumWidth(60);
        grid->addWidget(new QLabel(QString::fromLatin1(kCounterCaptions[i]), numbers), i / 2,
                        (i % 2) * 2);
        grid->addWidget(m_counters[i], i / 2, (i % 2) * 2 + 1);
    }
    middle->addWidget(numbers);
    root->addLayout(middle);

    auto* urlRow = new QHBoxLayout;
    urlRow->addWidget(new QLabel(QStringLiteral("Crawling Url:"), this));
    m_urlAddr = new QLineEdit(this);
    m_urlAddr->setObjectName(QStringLiteral("UrlAddr"));
    m_urlAddr->setReadOnly(true);
    urlRow->addWidget(m_urlAddr);
    root->addLayout(urlRow);

    auto* lists = new QSplitter(Qt::Horizontal, this);
    auto* foundBox = new QGroupBox(QStringLiteral("Links found and to be crawled"), lists);
    auto* foundLayout = new QVBoxLayout(foundBox);
    foundLayout->addWidget(listBox(foundBox, "FoundUrls", &c.foundUrls()));
    foundLayout->addWidget(listBox(foundBox, "AltaUrls", &c.altaUrls()));
    for (QListView* h : {listBox(foundBox, "AltaDups", &c.altaDups()),
                         listBox(foundBox, "Richedit1", &c.history())})
        h->hide();
    // The field-name table of the form analysis, as the hidden lists hold it.
    auto* nameList = new QListWidget(foundBox);
    nameList->setObjectName(QStringLiteral("NameList"));
    nameList->hide();
    auto* valueList = new QListWidget(foundBox);
    valueList->setObjectName(QStringLiteral("ValueList"));
    valueList->hide();
    for (const auto& [entry, key] : ffaFieldNames()) {
        nameList->addItem(entry);
        valueList->addItem(key);
    }

    auto* savedBox = new QGroupBox(QStringLiteral("Saved FFA List"), lists);
    auto* savedLayout = new QVBoxLayout(savedBox);
    auto* loadedRow = new QHBoxLayout;
    loadedRow->addWidget(new QLabel(QStringLiteral("Loaded"), savedBox));
    m_loaded = new QLabel(savedBox);
    m_loaded->setObjectName(QStringLiteral("Loaded"));
    loadedRow->addWidget(m_loaded, 1);
    savedLayout->addLayout(loadedRow);
    m_keyList = listBox(savedBox, "KeyList", &c.list().keyList());
    savedLayout->addWidget(m_keyList);

    auto* varsBox = new QGroupBox(QStringLiteral("Form Variables"), lists);
    auto* varsLayout = new QVBoxLayout(varsBox);
    m_formVariables = new QTreeWidget(varsBox);
    m_formVariables->setObjectName(QStringLiteral("FormVariables"));
    m_formVariables->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Value")});
    m_formVariables->setRootIsDecorated(false);
    m_formVariables->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int row = 0; row < FfaList::RowCount; ++row)
        new QTreeWidgetItem(m_formVariables, {FfaList::rowLabel(row), QString()});
    varsLayout->addWidget(m_formVariables);
    root->addWidget(lists, 1);

    m_pathtxt = new QLineEdit(this);
    m_pathtxt->setObjectName(QStringLiteral("Pathtxt"));
    m_pathtxt->hide();

    auto statusBar = [this](const char* name, const QString& caption, QLabel*& panel) {
        auto* s = new QStatusBar(this);
        s->setObjectName(QString::fromLatin1(name));
        s->setSizeGripEnabled(false);
        auto* first = new QLabel(caption, s);
        first->setObjectName(QString::fromLatin1(name) + QStringLiteral("Caption"));
        panel = new QLabel(s);
        panel->setObjectName(QString::fromLatin1(name) + QStringLiteral("Text"));
        s->addWidget(first);
        s->addWidget(panel, 1);
        return s;
    };
    m_statusBar1 = statusBar("StatusBar1", QStringLiteral("Crawler Status"), m_status1);
    m_statusBar2 = statusBar("StatusBar2", QStringLiteral("Engine Status"), m_status2);
    root->addWidget(m_statusBar1);
    root->addWidget(m_statusBar2);

    // Controls to the logic.
    connect(m_fileNew, &QToolButton::clicked, this, [this] { m_crawler->FileNewClick(); });
    connect(m_openPro, &QToolButton::clicked, this, [this] { m_crawler->OpenProClick(); });
    connect(m_fileSave, &QToolButton::clicked, this, [this] { m_crawler->FileSaveClick(); });
    connect(m_subStart, &QToolButton::clicked, this, [this] { m_crawler->SubStartClick(); });
    connect(m_subStop, &QToolButton::clicked, this, [this] { m_crawler->SubStopClick(); });
    connect(m_siteHelp, &QToolButton::clicked, this, &TFFA_Crawler::SiteHelpClick);
    connect(m_customize, &QToolButton::clicked, this, &TFFA_Crawler::CustomizeClick);
    connect(m_engContact, &QCheckBox::toggled, this,
            [this](bool on) { m_crawler->setEngContact(on); });
    connect(m_exOnOff, &QCheckBox::toggled, this, [this](bool on) { m_crawler->setExOnOff(on); });
    connect(m_pathtxt, &QLineEdit::textChanged, this, [this](const QString& dir) {
        m_crawler->setAppDir(dir);
        m_crawler->setSearchBase(searchBaseFromIni(dir));
    });
    connect(m_keyList->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() && current.row() != m_crawler->list().currentName())
                    m_crawler->selectListName(current.row());
            });

    // The logic to the controls.
    connect(&c, &FfaCrawler::engineStatusChanged, m_status2, &QLabel::setText);
    connect(&c, &FfaCrawler::crawlerStatusChanged, m_status1, &QLabel::setText);
    connect(&c, &FfaCrawler::urlAddrChanged, m_urlAddr, &QLineEdit::setText);
    connect(&c, &FfaCrawler::loadedChanged, m_loaded, &QLabel::setText);
    connect(&c, &FfaCrawler::countersChanged, this, &TFFA_Crawler::syncCounters);
    connect(&c, &FfaCrawler::buttonsChanged, this, &TFFA_Crawler::syncButtons);
    connect(&c, &FfaCrawler::viewChanged, this, &TFFA_Crawler::syncView);
    connect(&c, &FfaCrawler::listChanged, this, &TFFA_Crawler::syncView);
    connect(&c, &FfaCrawler::progressChanged, this, &TFFA_Crawler::syncProgress);
    syncButtons();
    syncCounters();
    resize(900, 640);
}

TFFA_Crawler::~TFFA_Crawler() = default;

void TFFA_Crawler::attach(Dialogs* dialogs, std::function<QString()> loadedDatabase,
                          const ProxySettings& proxy) {
    m_dialogs->target = dialogs;
    m_crawler->setInUseSource(std::move(loadedDatabase));
    m_crawler->applyProxy(proxy);
}

void TFFA_Crawler::setProfileSource(std::function<CrawlProfile()> source) {
    m_crawler->setOptionsSource(std::move(source));
}

void TFFA_Crawler::CustomizeClick() {
    if (!m_options)
        return;
    m_options->refreshCount();
    m_options->show();
    m_options->raise();
}

void TFFA_Crawler::SiteHelpClick() {
    emit helpRequested(QStringLiteral("\\help\\crawler.htm"));
}

void TFFA_Crawler::syncButtons() {
    const FfaCrawler& c = *m_crawler;
    const bool idle = c.idleControlsEnabled();
    m_subStop->setEnabled(c.running());
    m_subStart->setEnabled(c.startEnabled());
    m_fileSave->setEnabled(c.saveEnabled());
    for (QWidget* w : {static_cast<QWidget*>(m_customize), static_cast<QWidget*>(m_fileNew),
                       static_cast<QWidget*>(m_openPro), static_cast<QWidget*>(m_exOnOff),
                       static_cast<QWidget*>(m_engContact)})
        w->setEnabled(idle);
}

void TFFA_Crawler::syncCounters() {
    const FfaCrawler::Counters& n = m_crawler->counters();
    const QString values[8] = {QString::number(n.linksToCrawl),  QString::number(n.crawled),
                               QString::number(n.engineQueries), QString::number(n.quriesLeft),
                               QString::number(n.stringCount),   n.currentString,
                               QString::number(n.linksSaved),    QString::number(n.rejected)};
    for (int i = 0; i < 8; ++i)
        if (m_counters[i]->text() != values[i])
            m_counters[i]->setText(values[i]);
}

void TFFA_Crawler::syncView() {
    const FfaList& list = m_crawler->list();
    for (int row = 0; row < FfaList::RowCount; ++row)
        m_formVariables->topLevelItem(row)->setText(1, list.viewValue(row));
    const int current = list.currentName();
    const QModelIndex index =
        current >= 0 ? m_crawler->list().keyList().index(current) : QModelIndex();
    if (m_keyList->currentIndex() != index)
        m_keyList->setCurrentIndex(index);
}

void TFFA_Crawler::syncProgress() {
    const FfaCrawler& c = *m_crawler;
    m_extractor->setMaximum(qMax(1, c.extractorMax()));
    m_extractor->setValue(qBound(0, c.extractorPosition(), m_extractor->maximum()));
    m_parsing->setMaximum(qMax(1, c.parsingMax()));
    m_parsing->setValue(qBound(0, c.parsingPosition(), m_parsing->maximum()));
}

} // namespace lb
