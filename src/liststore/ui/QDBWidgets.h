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

class QDBLineEdit : public QDBControl {
public:
    explicit QDBLineEdit(QLineEdit* edit, QString className = QStringLiteral("TEdit"));
    QString name() const override;
    QString className() const override { return m_class; }
    quint8 kindCode() const override { return QDBTextControl::EditKind; }
    int tag() const override;
    void clear() override;
    QByteArray store() const override;
    void fetch(const QByteArray& field) override;
    void setColour(std::optional<quint32> rgb) override;

private:
    QLineEdit* m_edit;
    QString m_class;
};

class QDBMemo : public QDBControl {
public:
    explicit QDBMemo(QPlainTextEdit* memo, QString className = QStringLiteral("TMemo"));
    QString name() const override;
    QString className() const override { return m_class; }
    quint8 kindCode() const override { return QDBTextControl::EditKind; }
    int tag() const override;
    void clear() override;
    QByteArray store() const override;
    void fetch(const QByteArray& field) override;
    void setColour(std::optional<quint32> rgb) override;

private:
    QPlainTextEdit* m_memo;
    QString m_class;
};

} // namespace lb
