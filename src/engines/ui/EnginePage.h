#pragma once
// The "Engine Database" page: "Engine List" (KeyList) with the Loaded label,
// the "Catagory List" memo, the editor sheets "Description", "Contact",
// "Keywords" and "Auto Extractor", and the page's buttons. Edits and clicks
// are forwarded to EngineDatabase; the page redraws from its signals.
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace lb {

class AutoExtractor;
class EngineDatabase;
class ExtractorSheet;

class EnginePage : public QWidget {
    Q_OBJECT
public:
    // The extractor drives the "Auto Extractor" sheet; without one its buttons do nothing.
    explicit EnginePage(EngineDatabase& db, QWidget* parent = nullptr,
                        AutoExtractor* extractor = nullptr);

    QPushButton* helpButton() const { return m_help; }
    QPushButton* sourceButton() const { return m_source; }
    QPushButton* crawlerButton() const { return m_crawler; }
    QPushButton* updateButton() const { return m_update; }
    QPushButton* checkButton() const { return m_check; }
    QListView* keyListView() const { return m_keyList; }
    // Shows the "Auto Extractor" sheet and starts it on the address.
    void extractFrom(const QString& address);

private:
    QLineEdit* fieldEdit(int field, QWidget* parent);
    QWidget* buildDescriptionSheet();
    QWidget* buildContactSheet();
    QWidget* buildKeywordSheet();
    void showEditor();
    void showCategories();

    EngineDatabase& m_db;
    QListView* m_keyList = nullptr;
    QLabel* m_loaded = nullptr;
    QPlainTextEdit* m_catList = nullptr;
    QLineEdit* m_siteName = nullptr;
    QList<QLineEdit*> m_edits; // by field; null for the category type and method
    QComboBox* m_catType = nullptr;
    QRadioButton* m_post = nullptr;
    QRadioButton* m_get = nullptr;
    QPushButton* m_help = nullptr;
    QPushButton* m_source = nullptr;
    QPushButton* m_crawler = nullptr;
    QPushButton* m_update = nullptr;
    QPushButton* m_check = nullptr;
    QTabWidget* m_sheets = nullptr;
    ExtractorSheet* m_extractorSheet = nullptr;
    bool m_syncing = false;
};

} // namespace lb
