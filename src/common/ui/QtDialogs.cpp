#include "common/ui/QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace lb {

static QMessageBox::Icon toIcon(Dialogs::Icon icon) {
    switch (icon) {
    case Dialogs::Icon::Exclamation:
    case Dialogs::Icon::Warning:
        return QMessageBox::Warning;
    case Dialogs::Icon::Information:
        return QMessageBox::Information;
    case Dialogs::Icon::Question:
        return QMessageBox::Question;
    case Dialogs::Icon::Error:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

void QtDialogs::inform(const QString& text, const QString& caption, Icon icon) {
    // A box without a caption of its own shows the program's title.
    QMessageBox box(toIcon(icon),
                    caption.isEmpty() ? QApplication::applicationDisplayName() : caption, text,
                    QMessageBox::Ok, m_parent);
    box.exec();
}

bool QtDialogs::askYesNo(const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                    m_parent);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void QtDialogs::showError(const QString& text) {
    // The platform's error text under the application title, as the program shows it.
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), text, QMessageBox::Ok,
                    m_parent);
    box.exec();
}

QString QtDialogs::openFileName(const QString& title, const QString& filter,
                                const QString& startDir) {
    return QFileDialog::getOpenFileName(m_parent, title, startDir, filter);
}

QString QtDialogs::saveFileName(const QString& title, const QString& filter,
                                const QString& startDir, const QString& defaultSuffix) {
    QFileDialog dialog(m_parent, title, startDir, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

} // namespace lb
