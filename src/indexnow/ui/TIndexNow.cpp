#include "indexnow/ui/TIndexNow.h"

#include "common/Dialogs.h"
#include "common/FileError.h"
#include "common/IniFile.h"
#include "common/Paths.h"
#include "submit/ReportWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace lb {

namespace {
const QString kCaption = QStringLiteral("IndexNow");
const QString kReportName = QStringLiteral("IndexNow");

QLineEdit* edit(const QString& name, QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    return e;
}
} // namespace

TIndexNow::TIndexNow(const QString& appDir, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), m_appDir(appDir), m_dialogs(dialogs), m_submitter(this) {
    setObjectName(QStringLiteral("IndexNow"));
    setWindowTitle(kCaption);
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        QStringLiteral(
            "Tell the search engines that take part in IndexNow about the address of every "
            "session in \"Sessions to submit\". Put the key file on your site first."),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* form = new QFormLayout;
    m_key = edit(QStringLiteral("IndexKey"), this);
    m_key->setPlaceholderText(QStringLiteral("8 to 128 letters, digits or \"-\""));
    m_keyLocation = edit(QStringLiteral("IndexKeyLocation"), this);
    m_keyLocation->setPlaceholderText(QStringLiteral("optional: http://your.site/yourkey.txt"));
    m_endpoints = edit(QStringLiteral("IndexEndpoints"), this);
    m_endpoints->setPlaceholderText(IndexNowSettings::DefaultEndpoint);
    form->addRow(QStringLiteral("Key:"), m_key);
    form->addRow(QStringLiteral("Key location:"), m_keyLocation);
    form->addRow(QStringLiteral("Endpoints:"), m_endpoints);
    layout->addLayout(form);

    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName(QStringLiteral("IndexMemo"));
    m_memo->setReadOnly(true);
    layout->addWidget(m_memo, 1);

    auto* row = new QHBoxLayout;
    auto* writeKey = new QPushButton(QStringLiteral("Write key file…"), this);
    writeKey->setObjectName(QStringLiteral("IndexWriteKey"));
    m_submit = new QPushButton(QStringLiteral("Submit sessions to IndexNow"), this);
    m_submit->setObjectName(QStringLiteral("IndexSubmit"));
    m_stop = new QPushButton(QStringLiteral("Stop"), this);
    m_stop->setObjectName(QStringLiteral("IndexStop"));
    m_stop->setEnabled(false);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("IndexClose"));
    row->addWidget(writeKey);
    row->addStretch(1);
    row->addWidget(m_submit);
    row->addWidget(m_stop);
    row->addWidget(close);
    layout->addLayout(row);
    resize(560, 380);

    connect(writeKey, &QPushButton::clicked, this, &TIndexNow::WriteKeyClick);
    connect(m_submit, &QPushButton::clicked, this, &TIndexNow::SubmitClick);
    connect(m_stop, &QPushButton::clicked, this, &TIndexNow::StopClick);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(&m_submitter, &IndexNowSubmitter::posted, this,
            [this](const IndexNowPost& post, int code, const QString& phrase) {
                const QString line = resultLine(post, code, phrase);
                say(line);
                m_reportLines.append(report::requestLine(
                    reportTimeStamp(QDateTime::currentDateTime()),
                    QStringLiteral("IndexNow ") + indexNowHost(post.endpoint),
                    phrase.isEmpty() ? QString::number(code)
                                     : QString::number(code) + QLatin1Char(' ') + phrase));
                const QString why = indexNowExplanation(code);
                if (!why.isEmpty())
                    say(why);
            });
    connect(&m_submitter, &IndexNowSubmitter::finished, this, &TIndexNow::finished);
    loadSettings();
}

QString TIndexNow::resultLine(const IndexNowPost& post, int code, const QString& phrase) {
    QString line = QStringLiteral("IndexNow ") + indexNowHost(post.endpoint) +
                   QStringLiteral(" Status: ") + QString::number(code);
    if (!phrase.isEmpty())
        line += QLatin1Char(' ') + phrase;
    return line;
}

void TIndexNow::loadSettings() {
    const IndexNowSettings s = IndexNowSettings::load(m_appDir);
    m_key->setText(s.key);
    m_keyLocation->setText(s.keyLocation);
    m_endpoints->setText(s.endpoints.join(QStringLiteral(", ")));
}

bool TIndexNow::takeSettings(IndexNowSettings& s) {
    s.key = m_key->text().trimmed();
    s.keyLocation = m_keyLocation->text().trimmed();
    s.endpoints = IndexNowSettings::splitEndpoints(m_endpoints->text());
    if (!isValidIndexNowKey(s.key)) {
        m_dialogs.inform(
            QStringLiteral("The key must be 8 to 128 characters, each a letter, a digit or \"-\"."),
            kCaption);
        return false;
    }
    try {
        s.save(m_appDir);
    } catch (const FileError& e) {
        m_dialogs.showError(e.message());
    }
    return true;
}

void TIndexNow::WriteKeyClick() {
    IndexNowSettings s;
    if (!takeSettings(s))
        return;
    const QString chosen = m_dialogs.saveFileName(
        QStringLiteral("Write key file"), QStringLiteral("Text files (*.txt)"),
        QDir(m_appDir).filePath(s.key + QStringLiteral(".txt")), QStringLiteral("txt"));
    if (chosen.isEmpty())
        return;
    try {
        // The protocol finds the key at KEY.txt, so only the folder is the user's choice.
        const QString path = writeIndexNowKeyFile(QFileInfo(chosen).absolutePath(), s.key);
        say(QStringLiteral("Key file written: ") + path);
    } catch (const FileError& e) {
        m_dialogs.showError(e.message());
    }
}

void TIndexNow::SubmitClick() {
    if (m_submitter.running())
        return;
    IndexNowSettings s;
    if (!takeSettings(s))
        return;
    m_sessions.clear();
    m_sessionUrls.clear();
    const QStringList candidates = sessionsToSubmit ? sessionsToSubmit() : QStringList();
    for (const QString& name : candidates) {
        const QStringList url = indexNowSessionUrls(m_appDir, {name});
        if (url.isEmpty() || indexNowHost(url.first()).isEmpty())
            continue;
        m_sessions.append(name);
        m_sessionUrls.append(url.first());
    }
    if (m_sessionUrls.isEmpty()) {
        m_dialogs.inform(
            QStringLiteral("Move the sessions to tell IndexNow about into \"Sessions to submit\" "
                           "first; each needs its site address."),
            kCaption);
        return;
    }
    m_reportLines.clear();
    m_submit->setEnabled(false);
    m_stop->setEnabled(true);
    m_submitter.proxy = ProxySettings::load(m_appDir);
    say(QStringLiteral("IndexNow: %1 address(es) to %2 endpoint(s)")
            .arg(m_sessionUrls.size())
            .arg(s.effectiveEndpoints().size()));
    m_submitter.start(planIndexNowPosts(s.effectiveEndpoints(), m_sessionUrls), s.key,
                      s.keyLocation);
}

void TIndexNow::StopClick() {
    m_submitter.stop();
}

void TIndexNow::finished(bool allAccepted) {
    m_submit->setEnabled(true);
    m_stop->setEnabled(false);
    say(allAccepted ? QStringLiteral("IndexNow: every endpoint accepted the addresses")
                    : QStringLiteral("IndexNow: not every endpoint accepted the addresses"));
    ReportWriter writer(m_appDir, true);
    writer.setWriteCsv(false); // one line per post, not per engine request
    for (int i = 0; i < m_sessions.size(); ++i)
        writer.addSessionHeading(m_sessions.at(i), m_sessionUrls.at(i));
    writer.add(m_reportLines);
    try {
        const QString path = writer.endSession(kReportName);
        if (reportWritten)
            reportWritten(path);
    } catch (const FileError& e) {
        m_dialogs.showError(e.message());
    }
}

void TIndexNow::say(const QString& line) {
    m_memo->appendPlainText(line);
    if (memoLine)
        memoLine(line);
}

} // namespace lb
