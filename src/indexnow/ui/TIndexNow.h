#pragma once
// The "IndexNow" dialog of "Step3 Submit": key, key location and endpoints
// (kept in "zkt.ini"), writing the key file, and submitting the URLs of the
// sessions in "Sessions to submit".
#include "indexnow/IndexNow.h"

#include <functional>
#include <QDialog>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace lb {

class Dialogs;

class TIndexNow : public QDialog {
    Q_OBJECT
public:
    TIndexNow(const QString& appDir, Dialogs& dialogs, QWidget* parent = nullptr);

    std::function<QStringList()> sessionsToSubmit;
    std::function<void(const QString&)> memoLine;      // the submit page's memo
    std::function<void(const QString&)> reportWritten; // path of the report

    void loadSettings(); // from "zkt.ini"
    IndexNowSubmitter& submitter() { return m_submitter; }

    void WriteKeyClick();
    void SubmitClick();
    void StopClick();

    // "IndexNow " + endpoint host + " Status: " + code and phrase.
    static QString resultLine(const IndexNowPost& post, int code, const QString& phrase);

private:
    bool takeSettings(IndexNowSettings& s); // from the fields; refuses a bad key
    void finished(bool allAccepted);
    void say(const QString& line);

    QString m_appDir;
    Dialogs& m_dialogs;
    QLineEdit* m_key;
    QLineEdit* m_keyLocation;
    QLineEdit* m_endpoints;
    QPlainTextEdit* m_memo;
    QPushButton* m_submit;
    QPushButton* m_stop;
    IndexNowSubmitter m_submitter;
    QStringList m_sessions;    // of the submission under way
    QStringList m_sessionUrls; // in the same order
    QStringList m_reportLines;
};

} // namespace lb
