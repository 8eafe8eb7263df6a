#include "extractor/ui/ExtractorSheet.h"

#include "common/ui/Button.h"
#include "engines/EngineDatabase.h"
#include "extractor/AutoExtractor.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace lb {

ExtractorSheet::ExtractorSheet(EngineDatabase& db, AutoExtractor* extractor, QWidget* parent)
    : QWidget(parent), m_db(db), m_extractor(extractor) {
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("URL:"), this));
    m_url = new QLineEdit(QStringLiteral("http://"), this);
    m_url->setObjectName(QStringLiteral("Edit1"));
    row->addWidget(m_url, 1);
    m_start = button(QStringLiteral("Startda"), QStringLiteral("Get"), this);
    row->addWidget(m_start);
    m_stop = button(QStringLiteral("Stopda"), QStringLiteral("Abort"), this);
    m_stop->setEnabled(false);
    row->addWidget(m_stop);
    m_lamp = new QLabel(this);
    m_lamp->setObjectName(QStringLiteral("Panel10"));
    m_lamp->setFixedSize(16, 16);
    row->addWidget(m_lamp);
    layout->addLayout(row);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("ListView1"));
    m_list->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Value")});
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    for (const auto& [name, value] : m_db.nameValueRows())
        new QTreeWidgetItem(m_list, {name, QString()});
    layout->addWidget(m_list, 1);

    connect(&db, &EngineDatabase::nameValueChanged, this, &ExtractorSheet::showNameValue);
    if (m_extractor) {
        connect(m_start, &QPushButton::clicked, this,
                [this] { m_extractor->StartdaClick(m_url->text()); });
        connect(m_stop, &QPushButton::clicked, this, [this] { m_extractor->StopdaClick(); });
        connect(m_extractor, &AutoExtractor::stateChanged, this, &ExtractorSheet::showState);
    }
    showState();
    showNameValue();
}

void ExtractorSheet::showState() {
    const bool working = m_extractor && m_extractor->working();
    m_lamp->setProperty("lit", working);
    m_lamp->setStyleSheet(working ? QStringLiteral("background-color: lime;")
                                  : QStringLiteral("background-color: red;"));
    if (m_extractor) {
        m_start->setEnabled(m_extractor->startEnabled());
        m_stop->setEnabled(m_extractor->stopEnabled());
    }
}

void ExtractorSheet::showNameValue() {
    const auto& rows = m_db.nameValueView();
    for (int i = 0; i < rows.size() && i < m_list->topLevelItemCount(); ++i)
        m_list->topLevelItem(i)->setText(1, rows.at(i).second);
}

} // namespace lb
