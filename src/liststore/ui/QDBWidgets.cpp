#include "liststore/ui/QDBWidgets.h"

#include "common/ui/Contrast.h"

#include <QApplication>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>

namespace lb {

int widgetTag(const QWidget* w) {
    const QVariant v = w->property("tag");
    return v.isValid() ? v.toInt() : 0;
}

void applyViewColour(QWidget* w, std::optional<quint32> rgb) {
    QPalette p = w->palette();
    const QPalette system = QApplication::palette(w);
    const QColor base =
        rgb ? QColor::fromRgb(QRgb(*rgb | 0xFF000000u)) : system.color(QPalette::Base);
    p.setColor(QPalette::Base, base);
    // A chosen colour may be light on a dark system palette: keep the text readable on it.
    p.setColor(QPalette::Text, rgb ? readableTextOn(base) : system.color(QPalette::Text));
    w->setPalette(p);
}

QDBLineEdit::QDBLineEdit(QLineEdit* edit, QString className)
    : m_edit(edit), m_class(std::move(className)) {}
QString QDBLineEdit::name() const {
    return m_edit->objectName();
}
int QDBLineEdit::tag() const {
    return widgetTag(m_edit);
}
void QDBLineEdit::clear() {
    m_edit->clear();
}
QByteArray QDBLineEdit::store() const {
    return editField(m_edit->text(), false);
}
void QDBLineEdit::fetch(const QByteArray& field) {
    m_edit->setText(editText(field));
}
void QDBLineEdit::setColour(std::optional<quint32> rgb) {
    applyViewColour(m_edit, rgb);
}

QDBMemo::QDBMemo(QPlainTextEdit* memo, QString className)
    : m_memo(memo), m_class(std::move(className)) {}
QString QDBMemo::name() const {
    return m_memo->objectName();
}
int QDBMemo::tag() const {
    return widgetTag(m_memo);
}
void QDBMemo::clear() {
    m_memo->clear();
}
QByteArray QDBMemo::store() const {
    return editField(m_memo->toPlainText(), true);
}
void QDBMemo::fetch(const QByteArray& field) {
    QString t = editText(field);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_memo->setPlainText(t);
}
void QDBMemo::setColour(std::optional<quint32> rgb) {
    applyViewColour(m_memo, rgb);
}

} // namespace lb
