#include "sessions/ui/SessionPage.h"

#include "common/ui/Button.h"
#include "sessions/SessionStore.h"
#include "sessions/ui/ProxyPanel.h"
#include "spider/Spider.h"
#include "spider/ui/SpiderSheet.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace lb {

SessionPage::SessionPage(SessionStore& store, QWidget* parent, Spider* spider)
    : QWidget(parent), m_store(store) {
    m_edits.resize(SessionRecord::FieldCount);
    auto* outer = new QHBoxLayout(this);

    auto* left = new QGroupBox(QStringLiteral("Saved Sessions"), this);
    auto* leftLayout = new QVBoxLayout(left);
    m_sesList = new QListView(left);
    m_sesList->setObjectName(QStringLiteral("SesList"));
    m_sesList->setModel(&store.sesList());
    m_sesList->setSelectionModel(&store.sesListSelection());
    m_sesList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_sesList->setUniformItemSizes(true);
    leftLayout->addWidget(m_sesList);
    outer->addWidget(left, 1);

    auto* right = new QVBoxLayout;
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(new QLabel(QStringLiteral("Session Name:"), this));
    m_sessionName = new QLineEdit(this);
    m_sessionName->setObjectName(QStringLiteral("Session_Name"));
    nameRow->addWidget(m_sessionName);
    right->addLayout(nameRow);

    m_sheets = new QTabWidget(this);
    m_sheets->setObjectName(QStringLiteral("SessionSheets"));
    m_sheets->addTab(buildContactSheet(), QStringLiteral("Step1/1   Contact Info"));
    m_sheets->addTab(buildSiteSheet(), QStringLiteral("Step1/2  Site Description"));
    m_sheets->addTab(new SpiderSheet(spider, m_sheets),
                     QStringLiteral("(Option) Deep Promote Spider"));
    if (spider)
        connect(spider, &Spider::sheetRequested, this, [this](Spider::Sheet sheet) {
            m_sheets->setCurrentIndex(sheet == Spider::Sheet::ContactInfo ? 0 : 1);
        });
    right->addWidget(m_sheets, 1);
    m_proxyPanel = new ProxyPanel(this);
    m_proxyPanel->hide();
    connect(m_proxyPanel, &ProxyPanel::closeClicked, this, [this] {
        m_proxyPanel->hide();
        m_sheets->show();
    });
    right->addWidget(m_proxyPanel, 1);

    auto* buttons = new QHBoxLayout;
    m_help = button(QStringLiteral("SiteHelp"), QStringLiteral("Help"), this);
    m_proxySetup = button(QStringLiteral("ProxySetup"), QStringLiteral("Proxy Setup"), this);
    auto* add = button(QStringLiteral("SiteAdd"), QStringLiteral("Add/Edit"), this);
    auto* clear = button(QStringLiteral("SiteClear"), QStringLiteral("Clear"), this);
    auto* del = button(QStringLiteral("SiteDelete"), QStringLiteral("Delete"), this);
    m_meta = button(QStringLiteral("Meta"), QStringLiteral("MetaTags"), this);
    for (QPushButton* b : {m_help, m_proxySetup, add, clear, del, m_meta})
        buttons->addWidget(b);
    right->addLayout(buttons);
    outer->addLayout(right, 3);

    connect(add, &QPushButton::clicked, this, [this] { m_store.addEdit(); });
    connect(clear, &QPushButton::clicked, this, [this] { m_store.clear(false); });
    connect(del, &QPushButton::clicked, this, [this] { m_store.deleteSelected(); });
    connect(m_sesList, &QListView::clicked, this,
            [this](const QModelIndex& idx) { m_store.select(idx.row()); });
    connect(m_sessionName, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (!m_syncing)
            m_store.setSessionName(t);
    });
    connect(m_category, &QComboBox::editTextChanged, this, [this](const QString& t) {
        if (!m_syncing)
            m_store.setEditorField(SessionRecord::Category, t);
    });
    connect(&store, &SessionStore::editorChanged, this, &SessionPage::showEditor);
    connect(&store, &SessionStore::siteDescriptionRequested, this,
            [this] { m_sheets->setCurrentIndex(1); });
    connect(m_proxySetup, &QPushButton::clicked, this, [this] {
        m_sheets->hide();
        m_proxyPanel->show();
    });
    showEditor();
}

QLineEdit* SessionPage::fieldEdit(int field) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(sessionControlNames().at(field));
    if (const int max = sessionMaxLength(field))
        edit->setMaxLength(max);
    m_edits[field] = edit;
    connect(edit, &QLineEdit::textChanged, this, [this, field](const QString& t) {
        if (!m_syncing)
            m_store.setEditorField(field, t);
    });
    return edit;
}

QWidget* SessionPage::buildContactSheet() {
    auto* sheet = new QWidget;
    auto* form = new QFormLayout(sheet);
    for (int f : {SessionRecord::FirstName, SessionRecord::LastName, SessionRecord::Company,
                  SessionRecord::Address1, SessionRecord::Address2, SessionRecord::Country,
                  SessionRecord::City, SessionRecord::State, SessionRecord::Zip,
                  SessionRecord::Phone, SessionRecord::Fax, SessionRecord::Email})
        form->addRow(sessionLabels().at(f), fieldEdit(f));
    return sheet;
}

QWidget* SessionPage::buildSiteSheet() {
    auto* sheet = new QWidget;
    auto* layout = new QVBoxLayout(sheet);
    auto* form = new QFormLayout;
    form->addRow(sessionLabels().at(SessionRecord::Url), fieldEdit(SessionRecord::Url));
    form->addRow(sessionLabels().at(SessionRecord::Title), fieldEdit(SessionRecord::Title));
    form->addRow(sessionLabels().at(SessionRecord::Description),
                 fieldEdit(SessionRecord::Description));
    m_category = new QComboBox(sheet);
    m_category->setObjectName(QStringLiteral("catagory"));
    m_category->setEditable(true);
    m_category->setInsertPolicy(QComboBox::NoInsert);
    m_category->addItems(sessionCategories());
    m_category->setEditText(QString());
    form->addRow(sessionLabels().at(SessionRecord::Category), m_category);
    layout->addLayout(form);
    auto* keywords = new QGroupBox(QStringLiteral("Keywords"), sheet);
    auto* grid = new QGridLayout(keywords);
    for (int k = 0; k < 16; ++k)
        grid->addWidget(fieldEdit(SessionRecord::Key1 + k), k / 4, k % 4);
    layout->addWidget(keywords);
    layout->addStretch();
    return sheet;
}

void SessionPage::showEditor() {
    m_syncing = true;
    const SessionRecord& r = m_store.editor();
    if (m_sessionName->text() != r.name)
        m_sessionName->setText(r.name);
    for (int f = 0; f < SessionRecord::FieldCount; ++f) {
        if (f == SessionRecord::Category) {
            if (m_category->currentText() != r[f])
                m_category->setEditText(r[f]);
        } else if (m_edits[f] && m_edits[f]->text() != r[f]) {
            m_edits[f]->setText(r[f]);
        }
    }
    m_syncing = false;
}

} // namespace lb
