#include "extractor/ui/ExtractorSheet.h"

#include "common/ui/FetchRow.h"
#include "engines/EngineDatabase.h"
#include "extractor/AutoExtractor.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace lb {

ExtractorSheet::ExtractorSheet(EngineDatabase& db, AutoExtractor* extractor, QWidget* parent)
    : QWidget(parent), m_db(db), m_extractor(extractor) {
    auto* layout = new QVBoxLayout(this);
    const FetchRow fetch = addFetchRow(layout, this, "Edit1", "Startda", "Stopda", "Panel10");
    m_url = fetch.url;
    m_url->setText(QStringLiteral("http://"));
    m_start = fetch.get;
    m_stop = fetch.abort;
    m_lamp = fetch.lamp;

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
