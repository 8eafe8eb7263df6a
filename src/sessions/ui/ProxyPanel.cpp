#include "sessions/ui/ProxyPanel.h"

#include "common/ui/Button.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace lb {

ProxyPanel::ProxyPanel(QWidget* parent) : QGroupBox(parent) {
    setObjectName(QStringLiteral("ProxyPanel"));
    auto* layout = new QVBoxLayout(this);
    m_behind = new QRadioButton(QStringLiteral("I am behind a firewall or proxy"), this);
    m_behind->setObjectName(QStringLiteral("KeyProxy"));
    m_notBehind = new QRadioButton(QStringLiteral("I am not behind a firewall or proxy"), this);
    m_notBehind->setObjectName(QStringLiteral("NoProxy"));
    m_notBehind->setChecked(true);
    layout->addWidget(m_behind);
    layout->addWidget(m_notBehind);
    auto* form = new QFormLayout;
    const std::pair<QLineEdit**, const char*> edits[] = {{&m_host, "HttpProxy"},
                                                         {&m_port, "HttpPort"},
                                                         {&m_userName, "HttpUsername"},
                                                         {&m_password, "HttpPass"}};
    const char* labels[] = {"Proxy:", "Port:", "Username:", "Password:"};
    int i = 0;
    for (const auto& [edit, name] : edits) {
        *edit = new QLineEdit(this);
        (*edit)->setObjectName(QLatin1String(name));
        form->addRow(QLatin1String(labels[i++]), *edit);
    }
    layout->addLayout(form);
    // How https servers are checked (the "TLS" section beside the proxy's).
    auto* tlsForm = new QFormLayout;
    auto* caRow = new QHBoxLayout;
    m_caFile = new QLineEdit(this);
    m_caFile->setObjectName(QStringLiteral("TlsCAFile"));
    caRow->addWidget(m_caFile, 1);
    auto* browse = button(QStringLiteral("TlsCAFileBrowse"), QStringLiteral("..."), this);
    caRow->addWidget(browse);
    tlsForm->addRow(QStringLiteral("CA file:"), caRow);
    layout->addLayout(tlsForm);
    m_verify = new QCheckBox(QStringLiteral("Verify certificates"), this);
    m_verify->setObjectName(QStringLiteral("TlsVerify"));
    m_verify->setChecked(true);
    layout->addWidget(m_verify);
    auto* row = new QHBoxLayout;
    auto* apply = button(QStringLiteral("ProxyApply"), QStringLiteral("Apply"), this);
    auto* close = button(QStringLiteral("ProxyClose"), QStringLiteral("Close"), this);
    row->addWidget(apply);
    row->addWidget(close);
    layout->addLayout(row);
    layout->addStretch();
    connect(apply, &QPushButton::clicked, this, &ProxyPanel::applyClicked);
    connect(browse, &QPushButton::clicked, this, &ProxyPanel::browseClicked);
    connect(close, &QPushButton::clicked, this, &ProxyPanel::closeClicked);
}

void ProxyPanel::showSettings(const ProxySettings& proxy, const TlsSettings& tls) {
    m_host->setText(proxy.host);
    m_password->setText(proxy.password);
    m_port->setText(proxy.port);
    m_userName->setText(proxy.userName);
    m_behind->setChecked(proxy.behindProxy);
    m_notBehind->setChecked(!proxy.behindProxy);
    m_caFile->setText(tls.caFile);
    m_verify->setChecked(tls.verify);
}

ProxySettings ProxyPanel::proxy() const {
    ProxySettings s;
    s.host = m_host->text();
    s.password = m_password->text();
    s.port = m_port->text();
    s.userName = m_userName->text();
    s.behindProxy = m_behind->isChecked();
    return s;
}

TlsSettings ProxyPanel::tls() const {
    TlsSettings t;
    t.caFile = m_caFile->text().trimmed();
    t.verify = m_verify->isChecked();
    return t;
}

bool ProxyPanel::behindProxySelected() const {
    return m_behind->isChecked();
}

void ProxyPanel::setCaFile(const QString& file) {
    m_caFile->setText(file);
}

} // namespace lb
