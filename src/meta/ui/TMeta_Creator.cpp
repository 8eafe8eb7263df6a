#include "meta/ui/TMeta_Creator.h"

#include "common/Dialogs.h"
#include "common/FileError.h"
#include "common/Paths.h"
#include "meta/MetaCreator.h"
#include "reports/ui/ThtmlLite.h"
#include "source/ui/TColorMemo.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QTabWidget>
#include <QValidator>
#include <QVBoxLayout>

namespace lb {

namespace {

// Limits what the user types, never what the program puts in: a longer text
// set by the program stays whole and can still be shortened.
class TypedLengthValidator : public QValidator {
public:
    TypedLengthValidator(int max, QLineEdit* edit) : QValidator(edit), m_max(max) {
        // The line edit's own text already holds the candidate while it is
        // validated, so the last accepted length is kept here.
        connect(edit, &QLineEdit::textChanged, this,
                [this](const QString& t) { m_accepted = int(t.size()); });
    }
    State validate(QString& input, int&) const override {
        if (input.size() > m_max && input.size() > m_accepted)
            return Invalid;
        return Acceptable;
    }

private:
    int m_max;
    int m_accepted = 0;
};

const char* const kHtmlFilter = "HTML (html,htm) (*.htm*);;(shtml,shtm) (*.shtm*);;All files (*.*)";

} // namespace

TMeta_Creator::TMeta_Creator(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Meta_Creator"));
    setWindowTitle(QStringLiteral("Meta_Creator"));
    resize(820, 560);
}

TMeta_Creator::~TMeta_Creator() {
    // The list view shows the logic's model: it goes before the logic does.
    delete m_sesList;
    m_sesList = nullptr;
}

QLineEdit* TMeta_Creator::lineEdit(const char* name, int maxTyped, QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    if (maxTyped > 0)
        e->setValidator(new TypedLengthValidator(maxTyped, e));
    return e;
}

QComboBox* TMeta_Creator::combo(const char* name, const QStringList& items, QWidget* parent) {
    auto* c = new QComboBox(parent);
    c->setObjectName(QLatin1String(name));
    c->setEditable(true);
    c->addItems(items);
    c->setCurrentIndex(-1);
    c->setEditText(QString());
    return c;
}

void TMeta_Creator::attach(const QString& appDir, Dialogs& dialogs, const ProxySettings& proxy) {
    m_dialogs = &dialogs;
    m_creator = std::make_unique<MetaCreator>(appDir, dialogs);
    m_creator->applyProxy(proxy);
    m_creator->fields.url = QStringLiteral("http://");

    auto* outer = new QHBoxLayout(this);
    // Left column: the saved tag sets and their buttons.
    auto* saved = new QGroupBox(QStringLiteral("Saved Tags"), this);
    auto* savedLayout = new QVBoxLayout(saved);
    m_sesList = new QListView(saved);
    m_sesList->setObjectName(QStringLiteral("SesList"));
    m_sesList->setModel(&m_creator->sesList());
    m_sesList->setSelectionModel(&m_creator->sesListSelection());
    m_sesList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    savedLayout->addWidget(m_sesList, 1);
    auto button = [this](const char* name, const char* caption, QWidget* parent) {
        auto* b = new QPushButton(QLatin1String(caption), parent);
        b->setObjectName(QLatin1String(name));
        return b;
    };
    QPushButton* siteOpen = button("SiteOpen", "Import  Session", saved);
    QPushButton* siteAdd = button("SiteAdd", "Add/Edit", saved);
    QPushButton* metaClear = button("MetaClear", "Clear", saved);
    QPushButton* siteDel = button("SiteDel", "Delete", saved);
    for (QPushButton* b : {siteOpen, siteAdd, metaClear, siteDel})
        savedLayout->addWidget(b);
    outer->addWidget(saved);

    m_path2 = new QLineEdit(this);
    m_path2->setObjectName(QStringLiteral("Path2"));
    m_path2->hide();

    m_notebook = new QTabWidget(this);
    m_notebook->setObjectName(QStringLiteral("PageControl1"));
    auto* creation = new QTabWidget(m_notebook);
    creation->setObjectName(QStringLiteral("PageControl2"));
    creation->addTab(buildStep1(), QStringLiteral("Step1 Common Tags"));
    creation->addTab(buildStep2(), QStringLiteral("Step2 Advanced Tags"));
    creation->addTab(buildStep3(), QStringLiteral("Step3 Meta Tag Creation"));
    m_notebook->addTab(creation, QStringLiteral("Meta tag creation"));
    m_notebook->addTab(buildViewer(), QStringLiteral("Meta tag Viewer"));
    m_help = new ThtmlLite(m_notebook);
    m_help->setObjectName(QStringLiteral("Help1"));
    m_help->SetHistoryMaxCount(0);
    m_notebook->addTab(m_help, QStringLiteral("Help"));
    outer->addWidget(m_notebook, 1);

    connect(m_sesList, &QListView::clicked, this, [this] { SesListClick(); });
    connect(siteAdd, &QPushButton::clicked, this, &TMeta_Creator::SiteAddClick);
    connect(siteDel, &QPushButton::clicked, this, &TMeta_Creator::SiteDelClick);
    connect(metaClear, &QPushButton::clicked, this, &TMeta_Creator::MetaClearClick);
    connect(siteOpen, &QPushButton::clicked, this, &TMeta_Creator::SiteOpenClick);
    connect(m_creator.get(), &MetaCreator::fieldsChanged, this, &TMeta_Creator::showFields);
    connect(m_creator.get(), &MetaCreator::fetchStateChanged, this, &TMeta_Creator::syncFetch);
    connect(m_creator.get(), &MetaCreator::documentFetched, this, [this](const QStringList& lines) {
        m_sourceBox->SetLines(lines);
        injectIntoSourceBox();
    });
    showFields();
    syncFetch();
}

QWidget* TMeta_Creator::buildStep1() {
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    m_title = lineEdit("title", 60, page);
    m_description = lineEdit("Description", 150, page);
    m_key1 = lineEdit("Key1", 150, page);
    m_comment = new QPlainTextEdit(page);
    m_comment->setObjectName(QStringLiteral("Comment"));
    m_sessionName = lineEdit("Session_Name", 0, page);
    form->addRow(QStringLiteral("Title:"), m_title);
    form->addRow(QStringLiteral("Description:"), m_description);
    form->addRow(QStringLiteral("Keywords:"), m_key1);
    form->addRow(QStringLiteral("Comments:"), m_comment);
    form->addRow(QStringLiteral("Tag Name:"), m_sessionName);
    return page;
}

QWidget* TMeta_Creator::buildStep2() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    m_creatorEdit = lineEdit("Creator", 60, page);
    m_author = lineEdit("Author", 60, page);
    m_copyright = lineEdit("Copyright", 60, page);
    m_publisher = lineEdit("Publisher", 60, page);
    m_ownere = lineEdit("Ownere", 60, page);
    const std::pair<const char*, QLineEdit*> edits[] = {{"Creator:", m_creatorEdit},
                                                        {"Author:", m_author},
                                                        {"Copyright:", m_copyright},
                                                        {"Publisher:", m_publisher},
                                                        {"Owner (email)", m_ownere}};
    int row = 0;
    for (const auto& [label, edit] : edits) {
        grid->addWidget(new QLabel(QLatin1String(label), page), row, 0);
        grid->addWidget(edit, row++, 1);
    }
    QStringList charsets = {"GB2312", "US-ASCII"};
    for (int i = 1; i <= 9; ++i)
        charsets << QStringLiteral("ISO-8859-%1").arg(i);
    charsets << QStringList{"ISO-2022-JP", "ISO-2022-JP-2", "ISO-2022-KR", "SHIFT_JIS",
                            "EUC-KR",      "BIG5",          "KOI8-R",      "KSC_5601",
                            "HZ-GB-2312",  "JIS_X0208",     "UTF-8"};
    QStringList dates, years;
    for (int i = 1; i <= 31; ++i)
        dates << QString::number(i);
    for (int y = 1999; y <= 2010; ++y)
        years << QString::number(y);
    m_revisit = combo("Revisit", {"7 Days", "14 Days", "30 Days", "60 Days"}, page);
    m_distribution = combo("Distribution", {"Global", "Local"}, page);
    m_rating = combo("Rating", {"General", "Mature", "14 years", "Restricted"}, page);
    m_robots = combo("Robots", {"NoIndex", "All", "Index", "NoFollow"}, page);
    m_charset = combo("Charset", charsets, page);
    m_language = combo("Language", {"en-CA", "en-GB", "en-US", "fr", "de"}, page);
    m_eday = combo("EDay", {"Mon", "Tue", "Wen", "Thu", "Fri", "Sat", "Sun"}, page);
    m_edate = combo("EDate", dates, page);
    m_emonth = combo(
        "EMonth",
        {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"}, page);
    m_eyear = combo("EYear", years, page);
    const std::pair<const char*, QComboBox*> combos[] = {
        {"Revisit:", m_revisit},  {"Distribution:", m_distribution},
        {"Rating:", m_rating},    {"Robots:", m_robots},
        {"Charset:", m_charset},  {"Language:", m_language},
        {"Expires Day:", m_eday}, {"Date:", m_edate},
        {"Month:", m_emonth},     {"Year:", m_eyear}};
    row = 0;
    for (const auto& [label, box] : combos) {
        grid->addWidget(new QLabel(QLatin1String(label), page), row, 2);
        grid->addWidget(box, row++, 3);
    }
    grid->setRowStretch(row, 1);
    return page;
}

QWidget* TMeta_Creator::buildStep3() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* inject =
        new QGroupBox(QStringLiteral("Inject Meta Tags into html doc or just Meta Tags"), page);
    auto* ig = new QGridLayout(inject);
    m_selectDoc = new QCheckBox(QStringLiteral("Inject Document Yes/No"), inject);
    m_selectDoc->setObjectName(QStringLiteral("SelectDoc"));
    m_onlineDoc = new QRadioButton(QStringLiteral("Document Online        Url:"), inject);
    m_onlineDoc->setObjectName(QStringLiteral("OnlineDoc"));
    m_loadDoc = new QRadioButton(QStringLiteral("Load Document From File"), inject);
    m_loadDoc->setObjectName(QStringLiteral("LoadDoc"));
    m_urllist = lineEdit("urllist", 100, inject);
    m_urllist->setText(QStringLiteral("http://"));
    m_fileDoc = new QPushButton(QStringLiteral("Select an html document to inject"), inject);
    m_fileDoc->setObjectName(QStringLiteral("FileDoc"));
    for (QWidget* w : std::initializer_list<QWidget*>{m_onlineDoc, m_loadDoc, m_urllist, m_fileDoc})
        w->setEnabled(false);
    ig->addWidget(m_selectDoc, 0, 0, 1, 2);
    ig->addWidget(m_onlineDoc, 1, 0);
    ig->addWidget(m_urllist, 1, 1);
    ig->addWidget(m_loadDoc, 2, 0);
    ig->addWidget(m_fileDoc, 2, 1);
    layout->addWidget(inject);

    auto* tags = new QGroupBox(QStringLiteral("Select Meta tags to use"), page);
    auto* tg = new QGridLayout(tags);
    const std::pair<const char*, const char*> boxes[] = {
        {"DescriptionCk", "Description"}, {"KeywordsCk", "Keywords"},
        {"AuthorCk", "Author"},           {"CreatorCk", "Creator"},
        {"RobotsCk", "Robots"},           {"CopyrightCk", "Copyright"},
        {"PublisherCk", "Publisher"},     {"DistributionCk", "Distribution"},
        {"RatingCk", "Rating"},           {"ExpiresCk", "Expires"},
        {"CharsetCk", "Charset"},         {"OwnerCk", "Owner"},
        {"LanguageCk", "Language"},       {"RevisitCk", "Revisit"}};
    int i = 0;
    for (const auto& [name, caption] : boxes) {
        auto* c = new QCheckBox(QLatin1String(caption), tags);
        c->setObjectName(QLatin1String(name));
        tg->addWidget(c, i / 4, i % 4);
        m_checks.append(c);
        ++i;
    }
    layout->addWidget(tags);
    auto* build = new QPushButton(QStringLiteral("Build Meta Tags"), page);
    build->setObjectName(QStringLiteral("Button1"));
    layout->addWidget(build);
    layout->addStretch(1);

    connect(build, &QPushButton::clicked, this, &TMeta_Creator::Button1Click);
    connect(m_selectDoc, &QCheckBox::clicked, this, &TMeta_Creator::SelectDocClick);
    connect(m_onlineDoc, &QRadioButton::clicked, this, &TMeta_Creator::OnlineDocClick);
    connect(m_loadDoc, &QRadioButton::clicked, this, &TMeta_Creator::LoadDocClick);
    connect(m_fileDoc, &QPushButton::clicked, this, &TMeta_Creator::FileDocClick);
    return page;
}

QWidget* TMeta_Creator::buildViewer() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* g1 = new QGroupBox(QStringLiteral("Meta Tag Viewer"), page);
    auto* l1 = new QVBoxLayout(g1);
    m_memo2 = new TColorMemo(g1);
    m_memo2->setObjectName(QStringLiteral("Memo2"));
    m_memo2->SetColorRules(metaCreatorRules());
    l1->addWidget(m_memo2);
    auto* g2 = new QGroupBox(QStringLiteral("Meta tag Injected document Viewer"), page);
    auto* l2 = new QVBoxLayout(g2);
    m_sourceBox = new TColorMemo(g2);
    m_sourceBox->setObjectName(QStringLiteral("SourceBox"));
    m_sourceBox->SetColorRules(metaCreatorRules());
    l2->addWidget(m_sourceBox);
    layout->addWidget(g1, 1);
    layout->addWidget(g2, 2);
    auto* row = new QHBoxLayout;
    m_label11 = new QLabel(page);
    m_label11->setObjectName(QStringLiteral("Label11"));
    m_infoLabel = new QLabel(page);
    m_infoLabel->setObjectName(QStringLiteral("InfoLabel"));
    m_fileSave = new QPushButton(QStringLiteral("SaveAs"), page);
    m_fileSave->setObjectName(QStringLiteral("FileSave"));
    m_abort = new QPushButton(QStringLiteral("Abort"), page);
    m_abort->setObjectName(QStringLiteral("Abort"));
    m_abort->setEnabled(false);
    row->addWidget(m_label11);
    row->addWidget(m_infoLabel, 1);
    row->addWidget(m_fileSave);
    row->addWidget(m_abort);
    layout->addLayout(row);
    connect(m_fileSave, &QPushButton::clicked, this, &TMeta_Creator::FileSaveClick);
    connect(m_abort, &QPushButton::clicked, this, [this] { m_creator->AbortClick(); });
    return page;
}

void TMeta_Creator::open() {
    if (!m_creator)
        return;
    m_creator->readIndex();
    m_help->LoadFromFile(appPath(m_creator->appDir(), QStringLiteral("\\help\\meta.htm")));
    m_path2->setText(m_creator->appDir());
    show();
    raise();
}

void TMeta_Creator::readFields() {
    MetaFields& f = m_creator->fields;
    f.url = m_urllist->text();
    f.title = m_title->text();
    f.description = m_description->text();
    f.keywords = m_key1->text();
    f.author = m_author->text();
    f.creator = m_creatorEdit->text();
    f.copyright = m_copyright->text();
    f.publisher = m_publisher->text();
    f.owner = m_ownere->text();
    f.revisit = m_revisit->currentText();
    f.distribution = m_distribution->currentText();
    f.rating = m_rating->currentText();
    f.robots = m_robots->currentText();
    f.charset = m_charset->currentText();
    f.language = m_language->currentText();
    f.day = m_eday->currentText();
    f.date = m_edate->currentText();
    f.month = m_emonth->currentText();
    f.year = m_eyear->currentText();
    f.comments = m_comment->document()->isEmpty()
                     ? QStringList()
                     : m_comment->toPlainText().split(QLatin1Char('\n'));
    m_creator->sessionName = m_sessionName->text();
    const QStringList names = MetaChecks::names();
    for (int i = 0; i < names.size(); ++i)
        *m_creator->checks.byName(names.at(i)) = m_checks.at(i)->isChecked();
}

void TMeta_Creator::showFields() {
    const MetaFields& f = m_creator->fields;
    m_urllist->setText(f.url);
    m_title->setText(f.title);
    m_description->setText(f.description);
    m_key1->setText(f.keywords);
    m_author->setText(f.author);
    m_creatorEdit->setText(f.creator);
    m_copyright->setText(f.copyright);
    m_publisher->setText(f.publisher);
    m_ownere->setText(f.owner);
    m_revisit->setEditText(f.revisit);
    m_distribution->setEditText(f.distribution);
    m_rating->setEditText(f.rating);
    m_robots->setEditText(f.robots);
    m_charset->setEditText(f.charset);
    m_language->setEditText(f.language);
    m_eday->setEditText(f.day);
    m_edate->setEditText(f.date);
    m_emonth->setEditText(f.month);
    m_eyear->setEditText(f.year);
    m_comment->setPlainText(f.comments.join(QLatin1Char('\n')));
    m_sessionName->setText(m_creator->sessionName);
}

void TMeta_Creator::syncFetch() {
    m_label11->setText(m_creator->statusLabel());
    m_infoLabel->setText(m_creator->infoLabel());
    m_abort->setEnabled(m_creator->abortEnabled());
    m_fileSave->setEnabled(m_creator->saveEnabled());
}

void TMeta_Creator::SesListClick() {
    const int row = m_creator->selectedRow();
    if (row < 0)
        return;
    readFields();
    m_creator->loadTagSet(row);
}

void TMeta_Creator::SiteAddClick() {
    readFields();
    m_creator->addEdit();
}

void TMeta_Creator::SiteDelClick() {
    readFields();
    m_creator->deleteSelected();
}

void TMeta_Creator::MetaClearClick() {
    readFields();
    m_creator->clearFields();
}

void TMeta_Creator::SiteOpenClick() {
    const QString path = m_dialogs->openFileName(QStringLiteral("Import  Session"),
                                                 QStringLiteral("Database files (*.HLX)"),
                                                 m_creator->sessionFolder());
    if (path.isEmpty())
        return;
    readFields();
    m_creator->importSession(path);
}

void TMeta_Creator::Button1Click() {
    readFields();
    m_memo2->SetLines(m_creator->buildBlock());
    m_notebook->setCurrentIndex(1);
    if (m_onlineDoc->isChecked())
        m_creator->fetchDocument(m_urllist->text());
    else if (m_loadDoc->isChecked())
        injectIntoSourceBox();
}

void TMeta_Creator::injectIntoSourceBox() {
    readFields();
    QStringList document = m_sourceBox->Lines();
    if (m_creator->inject(m_memo2->Lines(), document))
        m_sourceBox->SetLines(document);
}

void TMeta_Creator::setRadio(QRadioButton* radio, bool checked) {
    // Both buttons of the group can be off, which an exclusive group does not allow.
    radio->setAutoExclusive(false);
    radio->setChecked(checked);
    radio->setAutoExclusive(true);
}

void TMeta_Creator::SelectDocClick() {
    setRadio(m_onlineDoc, false);
    setRadio(m_loadDoc, false);
    const bool on = m_selectDoc->isChecked();
    m_onlineDoc->setEnabled(on);
    m_loadDoc->setEnabled(on);
    if (!on) {
        m_urllist->setEnabled(false);
        m_fileDoc->setEnabled(false);
    }
}

void TMeta_Creator::OnlineDocClick() {
    m_urllist->setEnabled(true);
    m_fileDoc->setEnabled(false);
}

void TMeta_Creator::LoadDocClick() {
    m_urllist->setEnabled(false);
    m_fileDoc->setEnabled(true);
}

void TMeta_Creator::FileDocClick() {
    const QString path = m_dialogs->openFileName(
        QStringLiteral("Select an html document to inject"), QLatin1String(kHtmlFilter),
        appPath(m_creator->appDir(), QStringLiteral("\\data\\html")));
    if (path.isEmpty())
        return;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        m_dialogs->showError(FileError::cannotOpen(path).message());
        return;
    }
    m_sourceBox->SetLines(documentLines(f.readAll()));
}

void TMeta_Creator::FileSaveClick() {
    const QString path = m_dialogs->saveFileName(
        QStringLiteral("SaveAs"), QLatin1String(kHtmlFilter),
        appPath(m_creator->appDir(), QStringLiteral("\\data\\html")), QStringLiteral("htm"));
    if (path.isEmpty())
        return;
    QSaveFile f(path);
    const QByteArray bytes = documentBytes(m_sourceBox->Lines());
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit())
        m_dialogs->showError(FileError::cannotWrite(path).message());
}

} // namespace lb
