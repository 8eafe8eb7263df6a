#include "source/ui/TSource.h"

#include "source/SourceViewer.h"
#include "source/ui/TColorMemo.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

namespace lb {

TSource::TSource(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Source"));
    setWindowTitle(QStringLiteral("Source"));
    resize(760, 520);

    auto* layout = new QVBoxLayout(this);
    m_label2 = new QLabel(this);
    m_label2->setObjectName(QStringLiteral("Label2"));
    layout->addWidget(m_label2);

    m_sourceBox = new TColorMemo(this);
    m_sourceBox->setObjectName(QStringLiteral("SourceBox"));
    m_sourceBox->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_sourceBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_sourceBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_sourceBox->SetColorRules(sourceViewerRules());
    layout->addWidget(m_sourceBox, 1);

    // The memo's context menu; its entries do nothing beyond the edit actions.
    m_popup = new QMenu(this);
    m_popup->setObjectName(QStringLiteral("PopupMenu1"));
    connect(m_popup->addAction(QStringLiteral("Select All")), &QAction::triggered, m_sourceBox,
            &QPlainTextEdit::selectAll);
    connect(m_popup->addAction(QStringLiteral("Copy")), &QAction::triggered, m_sourceBox,
            &QPlainTextEdit::copy);
    connect(m_popup->addAction(QStringLiteral("Paste")), &QAction::triggered, m_sourceBox,
            &QPlainTextEdit::paste);
    QMenu* keys = m_popup->addMenu(QStringLiteral("Copy to Keyword Variables"));
    for (int i = 1; i <= 16; ++i)
        keys->addAction(QStringLiteral("Copy to Keyword%1: Var").arg(i));
    QMenu* contact = m_popup->addMenu(QStringLiteral("Copy to Contact Variables"));
    for (const char* t : {"First Name", "Last Name", "Email", "Company", "Address1", "Address2",
                          "City", "State", "Zip", "Phone", "Fax"})
        contact->addAction(QStringLiteral("Copy to %1: Var").arg(QLatin1String(t)));
    QMenu* desc = m_popup->addMenu(QStringLiteral("Copy to Description Variables"));
    for (const char* t : {"Copy to Cgi_Url", "Copy to Title: Var", "Copy to Url: Var",
                          "Copy to Description: Var", "Copy to Category: Var"})
        desc->addAction(QLatin1String(t));
    m_sourceBox->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_sourceBox, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { m_popup->popup(m_sourceBox->mapToGlobal(p)); });

    auto* buttons = new QHBoxLayout;
    m_close = new QPushButton(QStringLiteral("Close"), this);
    m_close->setObjectName(QStringLiteral("Button1"));
    m_abort = new QPushButton(QStringLiteral("Abort"), this);
    m_abort->setObjectName(QStringLiteral("Abort"));
    m_abort->setEnabled(false);
    buttons->addStretch(1);
    buttons->addWidget(m_abort);
    buttons->addWidget(m_close);
    layout->addLayout(buttons);

    auto* bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(false);
    m_panel0 = new QLabel(QStringLiteral("Status:"), bar);
    m_panel0->setObjectName(QStringLiteral("StatusPanel0"));
    m_panel1 = new QLabel(bar);
    m_panel1->setObjectName(QStringLiteral("StatusPanel1"));
    bar->addWidget(m_panel0);
    bar->addWidget(m_panel1, 1);
    layout->addWidget(bar);

    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
}

TSource::~TSource() {
    if (m_viewer && m_viewer->busy())
        m_viewer->AbortClick();
}

void TSource::attach(Dialogs& dialogs, const ProxySettings& proxy) {
    m_viewer = std::make_unique<SourceViewer>(dialogs);
    m_viewer->applyProxy(proxy);
    if (QWidget* main = parentWidget())
        setWindowIcon(main->windowIcon());
    else
        setWindowIcon(QApplication::windowIcon());
    connect(m_viewer.get(), &SourceViewer::changed, this, &TSource::sync);
    connect(m_viewer.get(), &SourceViewer::sourceChanged, this,
            [this] { m_sourceBox->SetLines(m_viewer->sourceLines()); });
    connect(m_abort, &QPushButton::clicked, m_viewer.get(), &SourceViewer::AbortClick);
}

void TSource::sync() {
    m_label2->setText(m_viewer->siteLabel());
    m_panel1->setText(m_viewer->status());
    m_abort->setEnabled(m_viewer->abortEnabled());
}

void TSource::VSourceClick(const QString& siteName, const QString& siteUrl) {
    if (!m_viewer || m_viewer->busy())
        return;
    show();
    raise();
    m_viewer->open(siteName, siteUrl);
}

} // namespace lb
