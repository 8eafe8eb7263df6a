#pragma once
#include "common/Dialogs.h"

#include <QPointer>
#include <QWidget>

namespace lb {

class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    void inform(const QString& text, const QString& caption, Icon icon) override;
    bool askYesNo(const QString& text, const QString& caption) override;
    void showError(const QString& text) override;
    QString openFileName(const QString& title, const QString& filter,
                         const QString& startDir) override;
    QString saveFileName(const QString& title, const QString& filter, const QString& startDir,
                         const QString& defaultSuffix) override;

private:
    QPointer<QWidget> m_parent;
};

} // namespace lb
