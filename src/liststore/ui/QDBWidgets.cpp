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

QDBTextWidget::QDBTextWidget(QLineEdit* edit, QString className)
    : m_edit(edit), m_class(std::move(className)) {}
QDBTextWidget::QDBTextWidget(QPlainTextEdit* memo, QString className)
    : m_memo(memo), m_class(std::move(className)) {}
QWidget* QDBTextWidget::widget() const {
    return m_edit ? static_cast<QWidget*>(m_edit) : m_memo;
}
QString QDBTextWidget::name() const {
    return widget()->objectName();
}
int QDBTextWidget::tag() const {
    return widgetTag(widget());
}
void QDBTextWidget::clear() {
    if (m_edit)
        m_edit->clear();
    else
        m_memo->clear();
}
QByteArray QDBTextWidget::store() const {
    return m_edit ? editField(m_edit->text(), false) : editField(m_memo->toPlainText(), true);
}
void QDBTextWidget::fetch(const QByteArray& field) {
    QString t = editText(field);
    if (m_edit) {
        m_edit->setText(t);
        return;
    }
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_memo->setPlainText(t);
}
void QDBTextWidget::setColour(std::optional<quint32> rgb) {
    applyViewColour(widget(), rgb);
}

} // namespace lb
