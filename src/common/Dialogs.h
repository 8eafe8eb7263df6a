#pragma once
// Every message the user sees goes through this interface: the window build
// shows real message boxes and file dialogs, tests answer from a script.
#include <QString>

namespace lb {

class Dialogs {
public:
    enum class Icon { Exclamation, Warning, Information, Question, Error };

    virtual ~Dialogs() = default;

    // A message with an OK button (refusals and information: exclamation).
    virtual void inform(const QString& text, const QString& caption,
                        Icon icon = Icon::Exclamation) = 0;
    // A question with Yes and No; No (or closing the box) answers false.
    virtual bool askYesNo(const QString& text, const QString& caption) = 0;
    // A platform error (file errors and the like): the text under the program's title.
    virtual void showError(const QString& text) = 0;
    // File dialogs; an empty result means the user cancelled.
    virtual QString openFileName(const QString& title, const QString& filter,
                                 const QString& startDir) = 0;
    virtual QString saveFileName(const QString& title, const QString& filter,
                                 const QString& startDir, const QString& defaultSuffix) = 0;
};

} // namespace lb
