#include "spider/ui/SpiderSheet.h"

#include "audit/ui/SiteAuditWindow.h"
#include "common/ui/FetchRow.h"
#include "spider/Spider.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace lb {

SpiderSheet::SpiderSheet(Spider* spider, QWidget* parent) : QWidget(parent), m_spider(spider) {
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(
        QStringLiteral("Note:    Please make sure you have all the contact info filled out and "
                       "have selected               a default category before spidering the "
                       "url."),
        this);
    note->setObjectName(QStringLiteral("SpiderNote"));
    note->setWordWrap(true);
    layout->addWidget(note);

    const FetchRow fetch = addFetchRow(layout, this, "SiteUrl", "MapButton", "MapAbort", "Panel36");
    m_siteUrl = fetch.url;
    m_get = fetch.get;
    m_abort = fetch.abort;
    m_lamp = fetch.lamp;
    // "Audit" stands beside "Get" in the same row.
    auto* row = static_cast<QBoxLayout*>(layout->itemAt(layout->count() - 1)->layout());
    m_audit = button(QStringLiteral("AuditButton"), QStringLiteral("Audit"), this);
    m_audit->setToolTip(QStringLiteral("Check the site for what keeps it from being found"));
    row->insertWidget(row->indexOf(m_get) + 1, m_audit);
    m_lamp->setAutoFillBackground(true);

    layout->addWidget(new QLabel(QStringLiteral("Urls Found"), this));
    m_siteList = new QListView(this);
    m_siteList->setObjectName(QStringLiteral("SiteList"));
    m_siteList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_siteList->setUniformItemSizes(true);
    layout->addWidget(m_siteList, 1);
    m_queue = new QListView(this);
    m_queue->setObjectName(QStringLiteral("SiteToCr"));
    m_queue->hide();

    layout->addWidget(new QLabel(QStringLiteral("Status"), this));
    m_status = new QPlainTextEdit(this);
    m_status->setObjectName(QStringLiteral("MapStat"));
    m_status->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_status->setReadOnly(true);
    m_status->setMaximumHeight(40);
    layout->addWidget(m_status);

    connect(m_audit, &QPushButton::clicked, this,
            [this] { (new SiteAuditWindow(m_siteUrl->text().trimmed(), nullptr, this))->show(); });
    if (m_spider) {
        m_siteList->setModel(&m_spider->siteList());
        m_queue->setModel(&m_spider->siteToCr());
        m_siteUrl->setText(m_spider->siteUrl());
        connect(m_siteUrl, &QLineEdit::textChanged, m_spider, &Spider::setSiteUrl);
        connect(m_spider, &Spider::siteUrlChanged, this, [this] {
            if (m_siteUrl->text() != m_spider->siteUrl())
                m_siteUrl->setText(m_spider->siteUrl());
        });
        connect(m_get, &QPushButton::clicked, m_spider, [this] { m_spider->MapButtonClick(); });
        connect(m_abort, &QPushButton::clicked, m_spider, &Spider::MapAbortClick);
        connect(m_spider, &Spider::stateChanged, this, &SpiderSheet::showState);
        connect(m_spider, &Spider::mapStatChanged, this, &SpiderSheet::showStatus);
    }
    showState();
}

void SpiderSheet::showState() {
    const bool running = m_spider && m_spider->lamp() == Spider::Lamp::Lime;
    m_get->setEnabled(!m_spider || m_spider->getEnabled());
    m_abort->setEnabled(m_spider && m_spider->abortEnabled());
    QPalette pal = m_lamp->palette();
    pal.setColor(QPalette::Window, running ? QColor(0, 255, 0) : QColor(255, 0, 0));
    m_lamp->setPalette(pal);
    m_lamp->setStyleSheet(running ? QStringLiteral("background-color: lime;")
                                  : QStringLiteral("background-color: red;"));
}

void SpiderSheet::showStatus() {
    const QString text = m_spider->mapStat().join(QLatin1Char('\n'));
    if (m_status->toPlainText() != text)
        m_status->setPlainText(text);
}

} // namespace lb
