#pragma once
// The crawler options window "CustomQ": the settings panel Panel2 (limits,
// include and ignore lists, the four keyword lists), the combination count
// Label5 and the profiles of "Custom List" kept in program folder +
// "\setting.set". The crawler reads the panel through CrawlerOptions at the
// moment of use.
#include "ffa/CrawlerOptions.h"
#include "ffa/CrawlerProfiles.h"
#include "ffa/CrawlProfile.h"

#include <QWidget>

#include <array>
#include <memory>
#include <vector>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace lb {

class Dialogs;
class QtDialogs;

class TCustomQ : public QWidget, public CrawlerOptions {
    Q_OBJECT
public:
    explicit TCustomQ(QWidget* parent = nullptr);
    ~TCustomQ() override;

    // Messages go here (the main window's dialogs); until set, to message boxes.
    void setDialogs(Dialogs* dialogs);

    // Assigns program folder + "\setting.set", fetches "default" and fills
    // the "Custom List" box; a store that cannot be opened shows its message.
    void openStore(const QString& appDir);
    CrawlerProfiles& profiles() { return m_profiles; }

    // CrawlerOptions: the controls' texts as they stand now.
    QString optionText(OptionControl c) const override;
    // The same, as the crawler takes it: a fresh copy at each moment of use.
    CrawlProfile crawlProfile() const;

    // Recomputes Label5 from the four keyword memos.
    void refreshCount();
    QString countText() const;

    QFrame* Panel2() const { return m_panel; }
    QLineEdit* Ckb() const { return m_ckb; }
    QLineEdit* Csec() const { return m_csec; }
    QPlainTextEdit* Memo3() const { return m_memo3; }
    QPlainTextEdit* Memo1() const { return m_memo1; }
    QLineEdit* Cstring() const { return m_cstring; }
    QPlainTextEdit* Terms1() const { return m_keywords[0]; }
    QPlainTextEdit* Terms2() const { return m_keywords[1]; }
    QPlainTextEdit* Bonus1() const { return m_keywords[2]; }
    QPlainTextEdit* Bonus2() const { return m_keywords[3]; }
    QLabel* Label5() const { return m_label5; }
    QComboBox* CkeyList() const { return m_keyList; }

    void Button1Click(); // New
    void Button3Click(); // Edit
    void Button2Click(); // Save
    void Button6Click(); // Cancel
    void Button5Click(); // Delete
    void Button4Click(); // Help
    void CkeyListChange(const QString& name);

signals:
    // After a Save: "String #" and the combination count, for the crawler's
    // "Current String" and "String Count" captions.
    void saved(const QString& startString, const QString& combinationCount);
    // The Help button: the main window shows this help page.
    void helpRequested(const QString& relativePath);

private:
    Dialogs& dialogs();
    void fillKeyList();
    template <class F> void guarded(F&& f);

    class ForwardDialogs;
    std::unique_ptr<ForwardDialogs> m_forward;
    std::unique_ptr<QtDialogs> m_ownDialogs;
    Dialogs* m_dialogsTarget = nullptr;
    CrawlerProfiles m_profiles;
    std::vector<std::unique_ptr<QDBControl>> m_bound;

    QFrame* m_panel = nullptr;
    QLineEdit* m_ckb = nullptr;
    QLineEdit* m_csec = nullptr;
    QPlainTextEdit* m_memo3 = nullptr;
    QPlainTextEdit* m_memo1 = nullptr;
    QLineEdit* m_cstring = nullptr;
    // Terms1, Terms2, Bonus1, Bonus2: the four keyword lists.
    std::array<QPlainTextEdit*, 4> m_keywords{};
    QLabel* m_label5 = nullptr;
    QComboBox* m_keyList = nullptr;
};

} // namespace lb
