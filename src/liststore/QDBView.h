#pragma once
// TQDBView: binds a panel of controls to the current item. Storing writes
// each control's field, fetching puts the fields back. The view also keeps
// the panel's signature in the file ("QF.0000", "QF.0001", ...) so a file is
// only ever read into the panel it was made for.
#include "liststore/QDBU.h"

#include <optional>
#include <QList>

namespace lb {

// A control as the view sees it; widgets implement this in ui/, plain
// values (the command line, tests) with QDBTextControl.
class QDBControl {
public:
    virtual ~QDBControl() = default;
    virtual QString name() const = 0;
    virtual QString className() const = 0;
    virtual quint8 kindCode() const = 0;
    virtual int tag() const { return 0; }
    virtual void clear() = 0;
    virtual QByteArray store() const = 0;
    virtual void fetch(const QByteArray& field) = 0;
    // The background while editing or not; nothing means the window colour.
    virtual void setColour(std::optional<quint32> rgb) { (void)rgb; }
};

// Field bytes of edits and memos: the text (a memo's lines joined with
// CR LF) in UTF-8 and one NUL; read back up to the first NUL.
QByteArray editField(const QString& text, bool multiLine);
QString editText(const QByteArray& field);

// An edit or memo holding its text; a memo's lines end with CR LF.
class QDBTextControl : public QDBControl {
public:
    static constexpr quint8 EditKind = 6;
    QDBTextControl(QString name, QString className, bool multiLine, QString text = QString())
        : m_name(std::move(name)), m_class(std::move(className)), m_multiLine(multiLine),
          m_text(std::move(text)) {}

    QString name() const override { return m_name; }
    QString className() const override { return m_class; }
    quint8 kindCode() const override { return EditKind; }
    int tag() const override { return m_tag; }
    void setTag(int tag) { m_tag = tag; }
    void clear() override { m_text.clear(); }
    QByteArray store() const override { return editField(m_text, m_multiLine); }
    void fetch(const QByteArray& field) override { m_text = editText(field); }
    void setColour(std::optional<quint32> rgb) override { m_colour = rgb; }

    bool multiLine() const { return m_multiLine; }
    const QString& text() const { return m_text; }
    void setText(const QString& text) { m_text = text; }
    std::optional<quint32> colour() const { return m_colour; }

private:
    QString m_name;
    QString m_class;
    bool m_multiLine;
    QString m_text;
    int m_tag = 0;
    std::optional<quint32> m_colour;
};

class TQDBView : public TQDBItem {
public:
    enum class State { Browse, Insert, Edit };

    int exclusionTag = -999;
    bool autoEdit = false;
    std::optional<quint32> activeColour;              // nothing: the window colour
    std::optional<quint32> inactiveColour = 0xC0C0C0; // silver

    // The panel's controls in their order; those tagged with the exclusion
    // tag are left out. Bind before opening a file.
    void bindPanel(const QList<QDBControl*>& controls);
    const QList<QDBControl*>& controls() const { return m_controls; }

    State state() const { return m_state; }
    bool editing() const { return m_state != State::Browse; }
    // Starts a new item; CLEAR empties the controls first.
    void insert(bool clear = true);
    void edit();
    // Stores the pending new or changed item; false when nothing was pending.
    bool post();
    void cancel();
    void fetch();
    void deleteCurrent();

    // The panel's signature item for control I.
    static QString signatureKey(int i);
    QByteArray signatureBody(int i) const;
    static bool isSignatureKey(const QString& key);
    // Keys other than signature items.
    bool hasDataItems() const;
    bool currentIsData() const;

protected:
    void opened() override;

private:
    void checkSignature();
    bool signatureMatches();
    void writeSignature();
    void showColours();

    QList<QDBControl*> m_controls;
    State m_state = State::Browse;
};

} // namespace lb
