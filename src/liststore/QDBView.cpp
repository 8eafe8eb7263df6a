#include "liststore/QDBView.h"

#include "common/AsciiText.h"
#include "liststore/QDBFields.h"

namespace lb {

QByteArray editField(const QString& text, bool multiLine) {
    QString t = text;
    if (multiLine) {
        // Memo lines end with CR LF on disk, however they were typed.
        QString out;
        out.reserve(t.size() + t.count(QLatin1Char('\n')));
        for (qsizetype i = 0; i < t.size(); ++i) {
            if (t[i] == QLatin1Char('\n') && (i == 0 || t[i - 1] != QLatin1Char('\r')))
                out.append(QLatin1Char('\r'));
            out.append(t[i]);
        }
        t = out;
    }
    QByteArray bytes = t.toUtf8();
    bytes.append('\0');
    return bytes;
}

QString editText(const QByteArray& field) {
    const qsizetype nul = field.indexOf('\0');
    return decodeText(nul < 0 ? field : field.left(nul));
}

void TQDBView::bindPanel(const QList<QDBControl*>& controls) {
    m_controls.clear();
    for (QDBControl* c : controls)
        if (c && c->tag() != exclusionTag)
            m_controls.append(c);
    showColours();
}

QString TQDBView::signatureKey(int i) {
    return QStringLiteral("QF.") + QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0'));
}

QByteArray TQDBView::signatureBody(int i) const {
    const QDBControl* c = m_controls.at(i);
    QByteArray b(1, char(c->kindCode()));
    b += '.';
    b += c->name().toUtf8();
    b += '.';
    b += c->className().toUtf8();
    return b;
}

bool TQDBView::isSignatureKey(const QString& key) {
    if (key.size() != 7 || !key.startsWith(QLatin1String("QF."), Qt::CaseInsensitive))
        return false;
    for (int i = 3; i < 7; ++i)
        if (key[i] < QLatin1Char('0') || key[i] > QLatin1Char('9'))
            return false;
    return true;
}

bool TQDBView::hasDataItems() const {
    for (int i = 0; i < count(); ++i)
        if (!isSignatureKey(key(i)))
            return true;
    return false;
}

bool TQDBView::currentIsData() const {
    return hasCurrent() && !isSignatureKey(currentKey());
}

void TQDBView::opened() {
    m_state = State::Browse;
    if (!m_controls.isEmpty())
        checkSignature();
    showColours();
}

void TQDBView::checkSignature() {
    if (indexOf(signatureKey(0)) < 0) {
        if (!readOnly())
            writeSignature();
        return;
    }
    if (signatureMatches())
        return;
    if (hasDataItems())
        throw EQDBViewError(qdbtext::panelMismatch());
    if (!readOnly())
        writeSignature();
}

bool TQDBView::signatureMatches() {
    for (int i = 0; i < m_controls.size(); ++i) {
        const int at = indexOf(signatureKey(i));
        if (at < 0)
            return false;
        try {
            if (readItem(at) != signatureBody(i))
                return false;
        } catch (const EQDBError&) {
            return false;
        }
    }
    // A signature item past the panel's last control: made for another panel.
    return indexOf(signatureKey(int(m_controls.size()))) < 0;
}

void TQDBView::writeSignature() {
    for (int i = count() - 1; i >= 0; --i)
        if (isSignatureKey(key(i)))
            deleteItem(key(i));
    for (int i = 0; i < m_controls.size(); ++i)
        addItem(signatureKey(i), signatureBody(i));
    first();
}

void TQDBView::showColours() {
    for (QDBControl* c : m_controls)
        c->setColour(editing() ? activeColour : inactiveColour);
}

void TQDBView::insert(bool clear) {
    requireFile();
    requireWritable();
    if (clear)
        for (QDBControl* c : m_controls)
            c->clear();
    m_state = State::Insert;
    showColours();
}

void TQDBView::edit() {
    requireFile();
    requireWritable();
    if (!currentIsData())
        throw EQDBNoData(qdbtext::outOfBounds());
    m_state = State::Edit;
    showColours();
}

bool TQDBView::post() {
    if (m_state == State::Browse)
        return false;
    requireFile();
    QList<QByteArray> fields;
    fields.reserve(m_controls.size());
    for (QDBControl* c : m_controls)
        fields.append(c->store());
    const QString key = keyFromOwner();
    if (m_state == State::Edit && currentIsData() &&
        compareKeys(key, currentKey(), caseSensitive()) == 0)
        replaceFields(fields);
    else
        addItem(key, qdb::packFields(fields)); // edited under a new name: a new item
    m_state = State::Browse;
    showColours();
    return true;
}

void TQDBView::cancel() {
    const bool was = editing();
    m_state = State::Browse;
    showColours();
    if (was && isOpen() && currentIsData())
        fetch();
}

void TQDBView::fetch() {
    const QList<QByteArray> fields = fetchFields();
    for (int i = 0; i < m_controls.size(); ++i)
        m_controls[i]->fetch(i < fields.size() ? fields[i] : QByteArray());
}

void TQDBView::deleteCurrent() {
    if (editing())
        cancel();
    if (!currentIsData())
        throw EQDBNoData(qdbtext::outOfBounds());
    TQDB::deleteCurrent();
}

} // namespace lb
