#pragma once
// The proxy and TLS panel of "Step1 Site Info" (hidden until "Proxy Setup"):
// the proxy's address and account, "I am (not) behind a firewall or proxy",
// the CA file and certificate checks, and Apply and Close.
#include "common/ProxySettings.h"
#include "common/TlsSettings.h"

#include <QGroupBox>

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace lb {

class ProxyPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit ProxyPanel(QWidget* parent = nullptr);

    void showSettings(const ProxySettings& proxy, const TlsSettings& tls);
    // What the controls hold now, applied or not.
    ProxySettings proxy() const;
    TlsSettings tls() const;
    bool behindProxySelected() const;
    void setCaFile(const QString& file);

signals:
    void applyClicked();
    void browseClicked();
    void closeClicked();

private:
    QRadioButton* m_behind = nullptr;
    QRadioButton* m_notBehind = nullptr;
    QLineEdit* m_host = nullptr;
    QLineEdit* m_port = nullptr;
    QLineEdit* m_userName = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_caFile = nullptr;
    QCheckBox* m_verify = nullptr;
};

} // namespace lb
