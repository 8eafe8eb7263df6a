#pragma once
// The "Step1 Site Info" page: "Saved Sessions" (SesList), the session editor
// sheets, the spider sheet, the (hidden) proxy panel and the page's buttons.
// Editing and clicks are forwarded to SessionStore.
#include <QWidget>

class QComboBox;
class QLineEdit;
class QListView;
class QPushButton;
class QTabWidget;

namespace lb {

class ProxyPanel;
class SessionStore;
class Spider;

class SessionPage : public QWidget {
    Q_OBJECT
public:
    // The spider sheet works when a spider is given.
    explicit SessionPage(SessionStore& store, QWidget* parent = nullptr, Spider* spider = nullptr);

    QTabWidget* sheets() const { return m_sheets; }
    ProxyPanel* proxyPanel() const { return m_proxyPanel; }
    QPushButton* helpButton() const { return m_help; }
    QPushButton* metaButton() const { return m_meta; }
    QPushButton* proxySetupButton() const { return m_proxySetup; }

private:
    void showEditor();
    QWidget* buildContactSheet();
    QWidget* buildSiteSheet();
    QLineEdit* fieldEdit(int field);

    SessionStore& m_store;
    QListView* m_sesList = nullptr;
    QLineEdit* m_sessionName = nullptr;
    QList<QLineEdit*> m_edits; // by field, null for the category
    QComboBox* m_category = nullptr;
    QTabWidget* m_sheets = nullptr;
    ProxyPanel* m_proxyPanel = nullptr;
    QPushButton* m_help = nullptr;
    QPushButton* m_meta = nullptr;
    QPushButton* m_proxySetup = nullptr;
    bool m_syncing = false;
};

} // namespace lb
