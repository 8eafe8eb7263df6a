#pragma once
// The "Meta_Creator" window: saved tag sets on the left, the notebook "Meta
// tag creation" (Step1 common tags, Step2 advanced tags, Step3 building and
// the document source), "Meta tag Viewer" (the built block in Memo2 and the
// document in SourceBox) and "Help". The logic lives in MetaCreator.
#include <QWidget>

#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace lb {

class Dialogs;
class MetaCreator;
struct ProxySettings;
class TColorMemo;
class ThtmlLite;

class TMeta_Creator : public QWidget {
    Q_OBJECT
public:
    explicit TMeta_Creator(QWidget* parent = nullptr);
    ~TMeta_Creator() override;

    // The program folder (Path2), the program's dialogs and the main window's proxy.
    void attach(const QString& appDir, Dialogs& dialogs, const ProxySettings& proxy);
    // The main window's "MetaTags": reads the list, loads the help page, shows the window.
    void open();

    MetaCreator* creator() const { return m_creator.get(); }
    TColorMemo* Memo2() const { return m_memo2; }
    TColorMemo* SourceBox() const { return m_sourceBox; }
    ThtmlLite* Help1() const { return m_help; }

    // The click handlers, as the buttons call them.
    void SesListClick();
    void SiteAddClick();
    void SiteDelClick();
    void MetaClearClick();
    void SiteOpenClick();
    void Button1Click();
    void SelectDocClick();
    void OnlineDocClick();
    void LoadDocClick();
    void FileDocClick();
    void FileSaveClick();

private:
    QWidget* buildStep1();
    QWidget* buildStep2();
    QWidget* buildStep3();
    QWidget* buildViewer();
    QLineEdit* lineEdit(const char* name, int maxTyped, QWidget* parent);
    QComboBox* combo(const char* name, const QStringList& items, QWidget* parent);
    void readFields(); // controls -> logic
    void showFields(); // logic -> controls
    void syncFetch();
    void injectIntoSourceBox();
    void setRadio(QRadioButton* radio, bool checked);

    std::unique_ptr<MetaCreator> m_creator;
    Dialogs* m_dialogs = nullptr;
    QTabWidget* m_notebook = nullptr;
    QListView* m_sesList = nullptr;
    QLineEdit* m_path2 = nullptr;
    QLineEdit* m_sessionName = nullptr;
    QLineEdit* m_urllist = nullptr;
    QLineEdit* m_title = nullptr;
    QLineEdit* m_description = nullptr;
    QLineEdit* m_key1 = nullptr;
    QPlainTextEdit* m_comment = nullptr;
    QLineEdit* m_creatorEdit = nullptr;
    QLineEdit* m_author = nullptr;
    QLineEdit* m_copyright = nullptr;
    QLineEdit* m_publisher = nullptr;
    QLineEdit* m_ownere = nullptr;
    QComboBox* m_revisit = nullptr;
    QComboBox* m_distribution = nullptr;
    QComboBox* m_rating = nullptr;
    QComboBox* m_robots = nullptr;
    QComboBox* m_charset = nullptr;
    QComboBox* m_language = nullptr;
    QComboBox* m_eday = nullptr;
    QComboBox* m_edate = nullptr;
    QComboBox* m_emonth = nullptr;
    QComboBox* m_eyear = nullptr;
    QCheckBox* m_selectDoc = nullptr;
    QRadioButton* m_onlineDoc = nullptr;
    QRadioButton* m_loadDoc = nullptr;
    QPushButton* m_fileDoc = nullptr;
    QList<QCheckBox*> m_checks; // in the order of MetaChecks::names()
    TColorMemo* m_memo2 = nullptr;
    TColorMemo* m_sourceBox = nullptr;
    QLabel* m_label11 = nullptr;
    QLabel* m_infoLabel = nullptr;
    QPushButton* m_fileSave = nullptr;
    QPushButton* m_abort = nullptr;
    ThtmlLite* m_help = nullptr;
};

} // namespace lb
