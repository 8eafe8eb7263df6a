#pragma once
// The submission form analyser: turns the bytes of a downloaded page into
// the fields of one engine record, from every form that carries a URL field.
// HTML is never parsed; plain substring tests on an ASCII upper-cased copy
// decide, and the pieces copied out keep their own case. Every scan walks the
// text once with offsets, so hostile or huge pages cost linear time.
#include "engines/EngineRecord.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

namespace lb {

struct FormAnalyserInput {
    QString pageUrl;           // the address the page was fetched from
    QStringList engineNames;   // the engine list the new site name is numbered against
    QStringList categoryTypes; // items of the category type drop-down, in order
    // Host pairs of sister networks whose forms post to each other's host.
    QList<std::pair<QString, QString>> hostPairs;
};

// Analyses every segment of the page that holds a URL field into editor
// (which the caller has cleared or filled before): later forms override
// earlier ones, hidden values accumulate.
void FindUrlForms(const QByteArray& page, const FormAnalyserInput& input, EngineRecord& editor);

// One form's text (the first entry of the form text list) into editor.
class FormAnalyser {
public:
    FormAnalyser(const FormAnalyserInput& input, EngineRecord& editor);
    void AnalyseForm(const QByteArray& form);

    // Values and visible texts of the SELECT options of the last analysed form.
    const QList<QByteArray>& optionTexts() const { return m_options; }

private:
    void tag(QByteArrayView tag, QByteArrayView upper);
    void formTag(QByteArrayView tag, QByteArrayView upper);
    void optionPass(const QByteArray& text, const QByteArray& upper);
    void chooseCategoryType();
    QString resolveAction(const QString& action) const;

    const FormAnalyserInput& m_in;
    EngineRecord& m_editor;
    QString m_siteName;
    QString m_scheme;
    QString m_host; // with ":" + port when the address names one
    QString m_path;
    QList<QByteArray> m_options;
};

} // namespace lb
