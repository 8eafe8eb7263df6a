#pragma once
// Edits and memos as controls of a TQDBView.
#include "liststore/QDBView.h"

class QLineEdit;
class QPlainTextEdit;
class QWidget;

namespace lb {

// The "tag" property of a widget (0 when unset): the view leaves out
// controls tagged with its exclusion tag.
int widgetTag(const QWidget* w);
void applyViewColour(QWidget* w, std::optional<quint32> rgb);

// A line editor ("TEdit") or a memo ("TMemo", its lines stored with CR LF).
class QDBTextWidget : public QDBControl {
public:
    explicit QDBTextWidget(QLineEdit* edit, QString className = QStringLiteral("TEdit"));
    explicit QDBTextWidget(QPlainTextEdit* memo, QString className = QStringLiteral("TMemo"));
    QString name() const override;
    QString className() const override { return m_class; }
    quint8 kindCode() const override { return QDBTextControl::EditKind; }
    int tag() const override;
    void clear() override;
    QByteArray store() const override;
    void fetch(const QByteArray& field) override;
    void setColour(std::optional<quint32> rgb) override;

private:
    QWidget* widget() const;

    QLineEdit* m_edit = nullptr;
    QPlainTextEdit* m_memo = nullptr;
    QString m_class;
};
using QDBLineEdit = QDBTextWidget;
using QDBMemo = QDBTextWidget;

} // namespace lb
