#include "engines/ui/EnginePage.h"

#include "common/ui/Button.h"
#include "engines/EngineDatabase.h"
#include "extractor/ui/ExtractorSheet.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace lb {

using R = EngineRecord;

EnginePage::EnginePage(EngineDatabase& db, QWidget* parent, AutoExtractor* extractor)
    : QWidget(parent), m_db(db) {
    m_edits.resize(R::FieldCount);
    auto* outer = new QHBoxLayout(this);

    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(QStringLiteral("Engine List"), this));
    m_loaded = new QLabel(this);
    m_loaded->setObjectName(QStringLiteral("Loaded"));
    left->addWidget(m_loaded);
    m_keyList = new QListView(this);
    m_keyList->setObjectName(QStringLiteral("KeyList"));
    m_keyList->setModel(&db.keyList());
    m_keyList->setSelectionModel(&db.keyListSelection());
    m_keyList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_keyList->setUniformItemSizes(true); // 100,000 names lay out at once
    left->addWidget(m_keyList, 3);
    left->addWidget(new QLabel(QStringLiteral("Catagory List"), this));
    m_catList = new QPlainTextEdit(this);
    m_catList->setObjectName(QStringLiteral("Cat_List"));
    m_catList->setReadOnly(true);
    left->addWidget(m_catList, 1);
    outer->addLayout(left, 1);

    auto* right = new QVBoxLayout;
    auto* sheets = new QTabWidget(this);
    sheets->setObjectName(QStringLiteral("EngineSheets"));
    sheets->addTab(buildDescriptionSheet(), QStringLiteral("Description"));
    sheets->addTab(buildContactSheet(), QStringLiteral("Contact"));
    sheets->addTab(buildKeywordSheet(), QStringLiteral("Keywords"));
    sheets->addTab(new ExtractorSheet(db, extractor), QStringLiteral("Auto Extractor"));
    right->addWidget(sheets, 1);

    auto* buttons = new QHBoxLayout;
    m_help = button(QStringLiteral("BaseHelp"), QStringLiteral("Help"), this);
    auto* add = button(QStringLiteral("BaseAdd"), QStringLiteral("Add"), this);
    auto* clear = button(QStringLiteral("BaseClear"), QStringLiteral("Clear"), this);
    auto* del = button(QStringLiteral("BaseDelete"), QStringLiteral("Delete"), this);
    auto* save = button(QStringLiteral("BaseSave"), QStringLiteral("Save"), this);
    m_source = button(QStringLiteral("VSource"), QStringLiteral("Source"), this);
    m_crawler = button(QStringLiteral("Crawler"), QStringLiteral("Crawler"), this);
    m_update = button(QStringLiteral("UpdateButton"), QStringLiteral("DB Update"), this);
    for (QPushButton* b : {m_help, add, clear, del, save, m_source, m_crawler, m_update})
        buttons->addWidget(b);
    right->addLayout(buttons);
    outer->addLayout(right, 2);

    connect(add, &QPushButton::clicked, this, [this] { m_db.addEngine(); });
    connect(clear, &QPushButton::clicked, this, [this] { m_db.ClearEngineEditor(); });
    connect(del, &QPushButton::clicked, this, [this] { m_db.deleteEngine(); });
    connect(save, &QPushButton::clicked, this, [this] { m_db.save(); });
    connect(m_keyList, &QListView::clicked, this,
            [this](const QModelIndex& idx) { m_db.keyListClicked(idx.row()); });
    connect(&db, &EngineDatabase::editorChanged, this, &EnginePage::showEditor);
    connect(&db, &EngineDatabase::loadedChanged, this,
            [this] { m_loaded->setText(m_db.loaded()); });
    connect(&db, &EngineDatabase::categoriesChanged, this, &EnginePage::showCategories);
    m_loaded->setText(db.loaded());
    showEditor();
    showCategories();
}

QLineEdit* EnginePage::fieldEdit(int field, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(EngineControlNames[std::size_t(field) + 1]));
    m_edits[field] = edit;
    connect(edit, &QLineEdit::textChanged, this, [this, field](const QString& t) {
        if (!m_syncing)
            m_db.setEditorField(field, t);
    });
    return edit;
}

QWidget* EnginePage::buildDescriptionSheet() {
    auto* sheet = new QWidget;
    auto* form = new QFormLayout(sheet);
    m_siteName = new QLineEdit(sheet);
    m_siteName->setObjectName(QStringLiteral("Site_Name"));
    connect(m_siteName, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (!m_syncing)
            m_db.setEditorName(t);
    });
    form->addRow(QStringLiteral("Site Name:"), m_siteName);
    form->addRow(QStringLiteral("Site_Url:"), fieldEdit(R::SiteUrl, sheet));
    form->addRow(QStringLiteral("Action \"cgi url\":"), fieldEdit(R::CgiUrl, sheet));
    form->addRow(QStringLiteral("Title Var:"), fieldEdit(R::TitleVar, sheet));
    form->addRow(QStringLiteral("Url Var:"), fieldEdit(R::UrlVar, sheet));
    form->addRow(QStringLiteral("Description Var:"), fieldEdit(R::DescriptionVar, sheet));
    form->addRow(QStringLiteral("Category Var:"), fieldEdit(R::CategoryVar, sheet));
    m_catType = new QComboBox(sheet);
    m_catType->setObjectName(QStringLiteral("Cat_Type"));
    m_catType->setEditable(true);
    m_catType->setInsertPolicy(QComboBox::NoInsert);
    connect(m_catType, &QComboBox::editTextChanged, this, [this](const QString& t) {
        if (!m_syncing)
            m_db.setEditorCategoryType(t);
    });
    form->addRow(QStringLiteral("Catagory Type:"), m_catType);
    form->addRow(QStringLiteral("Hidden Values:"), fieldEdit(R::HiddenValues, sheet));
    auto* method = new QWidget(sheet);
    auto* methodRow = new QHBoxLayout(method);
    methodRow->setContentsMargins(0, 0, 0, 0);
    m_post = new QRadioButton(QStringLiteral("POST"), method);
    m_post->setObjectName(QStringLiteral("Post"));
    m_get = new QRadioButton(QStringLiteral("GET"), method);
    m_get->setObjectName(QStringLiteral("Get"));
    m_post->setChecked(true);
    methodRow->addWidget(m_post);
    methodRow->addWidget(m_get);
    connect(m_post, &QRadioButton::clicked, this, [this] { m_db.setEditorPost(true); });
    connect(m_get, &QRadioButton::clicked, this, [this] { m_db.setEditorPost(false); });
    form->addRow(QStringLiteral("Method Type:"), method);
    return sheet;
}

QWidget* EnginePage::buildContactSheet() {
    auto* sheet = new QWidget;
    auto* form = new QFormLayout(sheet);
    const std::pair<int, const char*> rows[] = {{R::EmailVar, "Email Var:"},
                                                {R::FirstNameVar, "First Name Var:"},
                                                {R::LastNameVar, "Last Name Var:"},
                                                {R::CompanyVar, "Company Var:"},
                                                {R::Address1Var, "Address1 Var:"},
                                                {R::Address2Var, "Address2 Var:"},
                                                {R::CityVar, "City Var:"},
                                                {R::StateVar, "State Var:"},
                                                {R::ZipVar, "Zip Var:"},
                                                {R::CountryVar, "Country Var:"},
                                                {R::PhoneVar, "Phone Var:"},
                                                {R::FaxVar, "Fax Var:"}};
    for (const auto& [field, label] : rows)
        form->addRow(QLatin1String(label), fieldEdit(field, sheet));
    return sheet;
}

QWidget* EnginePage::buildKeywordSheet() {
    auto* sheet = new QWidget;
    auto* grid = new QGridLayout(sheet);
    for (int k = 0; k < 16; ++k) {
        grid->addWidget(new QLabel(QString::number(k + 1), sheet), k / 2, (k % 2) * 2);
        QLineEdit* e = fieldEdit(R::Key1Var + k, sheet);
        e->setMaxLength(150);
        grid->addWidget(e, k / 2, (k % 2) * 2 + 1);
    }
    return sheet;
}

void EnginePage::showEditor() {
    m_syncing = true;
    const EngineRecord& r = m_db.editor();
    if (m_siteName->text() != r.name)
        m_siteName->setText(r.name);
    for (int f = 0; f < R::FieldCount; ++f)
        if (m_edits[f] && m_edits[f]->text() != r[f])
            m_edits[f]->setText(r[f]);
    if (m_catType->currentText() != r[R::CategoryType])
        m_catType->setEditText(r[R::CategoryType]);
    (r.isPost() ? m_post : m_get)->setChecked(true);
    m_syncing = false;
}

void EnginePage::showCategories() {
    m_catList->setPlainText(m_db.categoryList().join(QLatin1Char('\n')));
    QStringList shown;
    for (int i = 0; i < m_catType->count(); ++i)
        shown.append(m_catType->itemText(i));
    if (shown != m_db.categoryTypes()) {
        m_syncing = true;
        const QString text = m_catType->currentText();
        m_catType->clear();
        m_catType->addItems(m_db.categoryTypes());
        m_catType->setEditText(text);
        m_syncing = false;
    }
}

} // namespace lb
