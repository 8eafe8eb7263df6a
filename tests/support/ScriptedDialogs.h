#pragma once
// Test double for Dialogs: records every message and answers questions and
// file dialogs from queues (an empty queue answers No / cancel).
#include "common/Dialogs.h"

#include <QList>
#include <QStringList>

namespace lb::test {

class ScriptedDialogs : public Dialogs {
public:
    enum class Kind { Inform, Ask, Error, OpenFile, SaveFile };
    struct Shown {
        Kind kind;
        QString text;
        QString caption;
        Icon icon;
    };

    QList<Shown> shown;
    QList<bool> answers;     // for askYesNo, front first
    QStringList fileNames;   // for open/save dialogs, front first

    void inform(const QString& text, const QString& caption, Icon icon) override {
        shown.append({Kind::Inform, text, caption, icon});
    }
    bool askYesNo(const QString& text, const QString& caption) override {
        shown.append({Kind::Ask, text, caption, Icon::Question});
        return answers.isEmpty() ? false : answers.takeFirst();
    }
    void showError(const QString& text) override {
        shown.append({Kind::Error, text, QString(), Icon::Error});
    }
    QString openFileName(const QString& title, const QString&, const QString&) override {
        shown.append({Kind::OpenFile, QString(), title, Icon::Information});
        return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
    }
    QString saveFileName(const QString& title, const QString&, const QString&,
                         const QString&) override {
        shown.append({Kind::SaveFile, QString(), title, Icon::Information});
        return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
    }

    // Texts of the messages shown, in order (file dialogs left out).
    QStringList texts() const {
        QStringList out;
        for (const Shown& s : shown)
            if (s.kind != Kind::OpenFile && s.kind != Kind::SaveFile)
                out.append(s.text);
        return out;
    }
    void clear() { shown.clear(); }
};

} // namespace lb::test
