#include "ffa/ui/TCustomQ.h"

#include "common/ui/Button.h"
#include "common/ui/QtDialogs.h"
#include "liststore/ui/QDBWidgets.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace lb {

// CrawlerProfiles keeps a Dialogs reference for its whole life; this passes
// each message on to whatever dialogs the window has at that moment.
class TCustomQ::ForwardDialogs : public Dialogs {
public:
    explicit ForwardDialogs(TCustomQ& w) : m_w(w) {}
    void inform(const QString& t, const QString& c, Icon i) override {
        m_w.dialogs().inform(t, c, i);
    }
    bool askYesNo(const QString& t, const QString& c) override {
        return m_w.dialogs().askYesNo(t, c);
    }
    void showError(const QString& t) override { m_w.dialogs().showError(t); }
    QString openFileName(const QString& t, const QString& f, const QString& d) override {
        return m_w.dialogs().openFileName(t, f, d);
    }
    QString saveFileName(const QString& t, const QString& f, const QString& d,
                         const QString& s) override {
        return m_w.dialogs().saveFileName(t, f, d, s);
    }

private:
    TCustomQ& m_w;
};

namespace {

QPlainTextEdit* memo(const QString& name, QWidget* parent) {
    auto* m = new QPlainTextEdit(parent);
    m->setObjectName(name);
    m->setLineWrapMode(QPlainTextEdit::NoWrap);
    return m;
}

QLineEdit* edit(const QString& name, QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    return e;
}

QGroupBox* group(const QString& caption, QWidget* content, QWidget* parent) {
    auto* g = new QGroupBox(caption, parent);
    auto* l = new QVBoxLayout(g);
    l->addWidget(content);
    return g;
}

QString memoDefault(const QString& crlf) {
    QString t = crlf;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return t;
}

} // namespace

TCustomQ::TCustomQ(QWidget* parent)
    : QWidget(parent, Qt::Window), m_forward(std::make_unique<ForwardDialogs>(*this)),
      m_profiles(*m_forward) {
    setObjectName(QStringLiteral("CustomQ"));
    setWindowTitle(QStringLiteral("CustomQ"));

    m_panel = new QFrame(this);
    m_panel->setObjectName(QStringLiteral("Panel2"));
    auto* grid = new QGridLayout(m_panel);

    auto* timeOut = new QGroupBox(QStringLiteral("Time Out Options"), m_panel);
    auto* tl = new QGridLayout(timeOut);
    m_ckb = edit(QStringLiteral("Ckb"), timeOut);
    m_csec = edit(QStringLiteral("Csec"), timeOut);
    tl->addWidget(new QLabel(QStringLiteral("Load Max Size: Kb"), timeOut), 0, 0);
    tl->addWidget(m_ckb, 0, 1);
    tl->addWidget(new QLabel(QStringLiteral("Time out: sec"), timeOut), 1, 0);
    tl->addWidget(m_csec, 1, 1);

    m_memo3 = memo(QStringLiteral("Memo3"), m_panel);
    m_memo1 = memo(QStringLiteral("Memo1"), m_panel);

    auto* start = new QGroupBox(QStringLiteral("Starting Points"), m_panel);
    auto* sl = new QHBoxLayout(start);
    m_cstring = edit(QStringLiteral("Cstring"), start);
    m_label5 = new QLabel(QStringLiteral("0"), start);
    m_label5->setObjectName(QStringLiteral("Label5"));
    sl->addWidget(new QLabel(QStringLiteral("String #:"), start));
    sl->addWidget(m_cstring);
    sl->addWidget(m_label5);

    const char* const keywordNames[4] = {"Terms1", "Terms2", "Bonus1", "Bonus2"};
    for (int i = 0; i < 4; ++i)
        m_keywords[size_t(i)] = memo(QLatin1String(keywordNames[i]), m_panel);

    grid->addWidget(timeOut, 0, 0);
    grid->addWidget(start, 1, 0);
    grid->addWidget(group(QStringLiteral("Extract Urls Containing"), m_memo3, m_panel), 0, 1, 2, 1);
    grid->addWidget(group(QStringLiteral("Ignore Urls Containing"), m_memo1, m_panel), 0, 2, 2, 1);
    const char* const keywordCaptions[4] = {"Boolean Keywords Main", "And 1 Keywords",
                                            "And 2 Keywords", "And 3 Keywords"};
    for (int i = 0; i < 4; ++i)
        grid->addWidget(group(QLatin1String(keywordCaptions[i]), m_keywords[size_t(i)], m_panel),
                        2 + i / 2, i % 2);

    auto* listBox = new QGroupBox(QStringLiteral("Custom List"), this);
    auto* ll = new QVBoxLayout(listBox);
    m_keyList = new QComboBox(listBox);
    m_keyList->setObjectName(QStringLiteral("CkeyList"));
    m_keyList->setEditable(true);
    m_keyList->setInsertPolicy(QComboBox::NoInsert);
    ll->addWidget(m_keyList);
    auto* buttons = new QHBoxLayout;
    QPushButton* b1 = button(QStringLiteral("Button1"), QStringLiteral("New"), listBox);
    QPushButton* b3 = button(QStringLiteral("Button3"), QStringLiteral("Edit"), listBox);
    QPushButton* b2 = button(QStringLiteral("Button2"), QStringLiteral("Save"), listBox);
    QPushButton* b6 = button(QStringLiteral("Button6"), QStringLiteral("Cancel"), listBox);
    QPushButton* b5 = button(QStringLiteral("Button5"), QStringLiteral("Delete"), listBox);
    QPushButton* b4 = button(QStringLiteral("Button4"), QStringLiteral("Help"), listBox);
    for (QPushButton* b : {b1, b3, b2, b6, b5, b4})
        buttons->addWidget(b);
    ll->addLayout(buttons);

    auto* top = new QVBoxLayout(this);
    top->addWidget(m_panel);
    top->addWidget(listBox);

    // Defaults, then the panel in its order: the fields of a profile and the
    // numbering of the panel signature follow it.
    QList<QDBControl*> panel;
    const QList<QWidget*> widgets = {m_ckb,         m_csec,        m_memo3,
                                     m_memo1,       m_cstring,     m_keywords[0],
                                     m_keywords[1], m_keywords[2], m_keywords[3]};
    for (int i = 0; i < OptionControlCount; ++i) {
        const OptionControlInfo& info = optionControls().at(i);
        if (info.memo) {
            auto* m = static_cast<QPlainTextEdit*>(widgets[i]);
            m->setPlainText(memoDefault(info.defaultText));
            m_bound.push_back(std::make_unique<QDBMemo>(m, info.className));
        } else {
            auto* e = static_cast<QLineEdit*>(widgets[i]);
            e->setText(info.defaultText);
            m_bound.push_back(std::make_unique<QDBLineEdit>(e, info.className));
        }
        panel.append(m_bound.back().get());
    }
    m_profiles.bindPanel(panel);

    for (QPlainTextEdit* m : m_keywords)
        connect(m, &QPlainTextEdit::textChanged, this, &TCustomQ::refreshCount);
    connect(b1, &QPushButton::clicked, this, &TCustomQ::Button1Click);
    connect(b3, &QPushButton::clicked, this, &TCustomQ::Button3Click);
    connect(b2, &QPushButton::clicked, this, &TCustomQ::Button2Click);
    connect(b6, &QPushButton::clicked, this, &TCustomQ::Button6Click);
    connect(b5, &QPushButton::clicked, this, &TCustomQ::Button5Click);
    connect(b4, &QPushButton::clicked, this, &TCustomQ::Button4Click);
    connect(m_keyList, &QComboBox::textActivated, this, &TCustomQ::CkeyListChange);
}

TCustomQ::~TCustomQ() = default;

void TCustomQ::setDialogs(Dialogs* dialogs) {
    m_dialogsTarget = dialogs;
}

Dialogs& TCustomQ::dialogs() {
    if (m_dialogsTarget)
        return *m_dialogsTarget;
    if (!m_ownDialogs)
        m_ownDialogs = std::make_unique<QtDialogs>(this);
    return *m_ownDialogs;
}

template <class F> void TCustomQ::guarded(F&& f) {
    try {
        f();
    } catch (const EQDBError& e) {
        dialogs().showError(e.message());
    }
}

void TCustomQ::openStore(const QString& appDir) {
    guarded([&] { m_profiles.open(appDir); });
    fillKeyList();
    refreshCount();
}

QString TCustomQ::optionText(OptionControl c) const {
    switch (c) {
    case OptionControl::Ckb:
        return m_ckb->text();
    case OptionControl::Csec:
        return m_csec->text();
    case OptionControl::Memo3:
        return m_memo3->toPlainText();
    case OptionControl::Memo1:
        return m_memo1->toPlainText();
    case OptionControl::Cstring:
        return m_cstring->text();
    case OptionControl::Terms1:
        return m_keywords[0]->toPlainText();
    case OptionControl::Terms2:
        return m_keywords[1]->toPlainText();
    case OptionControl::Bonus1:
        return m_keywords[2]->toPlainText();
    case OptionControl::Bonus2:
        return m_keywords[3]->toPlainText();
    }
    return QString();
}

CrawlProfile TCustomQ::crawlProfile() const {
    CrawlProfile p;
    p.maxKb = loadMaxSizeText();
    p.timeoutSec = timeOutText();
    p.startString = startStringText();
    p.include = includeList();
    p.ignore = ignoreList();
    p.terms1 = keywordList(0);
    p.terms2 = keywordList(1);
    p.bonus1 = keywordList(2);
    p.bonus2 = keywordList(3);
    return p;
}

void TCustomQ::refreshCount() {
    m_label5->setText(QString::number(combinationCount()));
}

QString TCustomQ::countText() const {
    return m_label5->text();
}

void TCustomQ::fillKeyList() {
    const QSignalBlocker block(m_keyList);
    m_keyList->clear();
    m_keyList->addItems(m_profiles.profileNames());
    const int i = m_keyList->findText(m_profiles.currentName(), Qt::MatchFixedString);
    m_keyList->setCurrentIndex(i);
    m_keyList->setEditText(m_profiles.currentName());
}

void TCustomQ::Button1Click() {
    guarded([&] {
        m_profiles.newProfile();
        m_keyList->setEditText(QString());
    });
}

void TCustomQ::Button3Click() {
    guarded([&] { m_profiles.editProfile(); });
}

void TCustomQ::Button2Click() {
    bool done = false;
    guarded([&] { done = m_profiles.save(m_keyList->currentText()); });
    if (!done)
        return;
    fillKeyList();
    refreshCount();
    emit saved(m_cstring->text(), countText());
}

void TCustomQ::Button6Click() {
    guarded([&] { m_profiles.cancel(); });
    fillKeyList();
}

void TCustomQ::Button5Click() {
    guarded([&] { m_profiles.deleteCurrent(); });
    fillKeyList();
    refreshCount();
}

void TCustomQ::Button4Click() {
    emit helpRequested(QStringLiteral("\\help\\settings.htm"));
}

void TCustomQ::CkeyListChange(const QString& name) {
    guarded([&] { m_profiles.select(name); });
    refreshCount();
}

} // namespace lb
