#pragma once
// The META tag creator's logic: the tag fields and check boxes, the saved tag
// sets ("\data\meta\meta.hlx" by the index-list convention, one ".tag" INI
// file per set), importing a session, building the HEAD block and putting it
// into a document. The window binds to this; the command line drives it too.
#include "common/NameListModel.h"
#include "meta/MetaTags.h"
#include "net/HttpProt.h"

#include <QFile>
#include <QItemSelectionModel>

#include <memory>
#include <QObject>

namespace lb {

class Dialogs;
struct ProxySettings;

class MetaCreator : public QObject {
    Q_OBJECT
public:
    MetaCreator(QString appDir, Dialogs& dialogs, QObject* parent = nullptr);
    ~MetaCreator() override;

    const QString& appDir() const { return m_appDir; } // Path2
    QString indexPath() const;
    QString tagFolder() const;
    QString tagPath(const QString& name) const;
    QString sessionFolder() const;

    // A name that would lead outside the tag folder, or that the index uses.
    static bool isReservedName(const QString& name);
    static bool isUnsafeName(const QString& name);

    MetaFields fields;
    MetaChecks checks;
    QString sessionName; // Session_Name

    NameListModel& sesList() { return m_sesList; }
    QItemSelectionModel& sesListSelection() { return m_sesSel; }
    int selectedRow() const;
    void selectRow(int row);

    // Opening the window: SesList from section "List" of the index.
    void readIndex();
    // SesListClick for a row (or for a name, as the command line gives it).
    // False when refused or the tag file is missing (requireFile).
    bool loadTagSet(int row);
    bool loadTagSetByName(const QString& name, bool requireFile = false);
    // SiteAddClick: true when the tag file was written.
    bool addEdit();
    // SiteDelClick: true when an entry was deleted.
    bool deleteSelected();
    // MetaClearClick: every field emptied; Session_Name stays.
    void clearFields();
    // SiteOpenClick after the file dialog: reads the session file; false if
    // it is missing or its name is refused.
    bool importSession(const QString& path);

    // Button1Click's block (Memo2).
    QStringList buildBlock() const { return buildMetaBlock(fields, checks); }
    // Injection into the document's lines, with the creator's messages.
    bool inject(const QStringList& block, QStringList& document);

    // Fetching a document from the web (OnlineDoc) into "temp.txt" in the
    // program folder; documentFetched carries its lines when it arrived.
    net::THttpCli& Httpget() { return m_http; }
    void applyProxy(const ProxySettings& proxy);
    void fetchDocument(const QString& url);
    void AbortClick() { m_http.Abort(); }
    bool fetching() const { return m_fetching; }
    const QString& statusLabel() const { return m_label11; } // Label11
    const QString& infoLabel() const { return m_infoLabel; } // InfoLabel
    bool abortEnabled() const { return m_abortEnabled; }
    bool saveEnabled() const { return m_saveEnabled; }
    QString tempPath() const;

signals:
    void fieldsChanged();
    void fetchStateChanged();
    void documentFetched(const QStringList& lines);

private:
    void writeIndex();
    bool refuse(const QString& name);

    void fetchDone(quint16 error);
    void setFetchState(const QString& label, bool abort, bool save);

    QString m_appDir;
    Dialogs& m_dialogs;
    net::THttpCli m_http;
    std::unique_ptr<QFile> m_temp;
    bool m_fetching = false;
    QString m_label11;
    QString m_infoLabel;
    bool m_abortEnabled = false;
    bool m_saveEnabled = true;
    NameListModel m_sesList{false};
    QItemSelectionModel m_sesSel{&m_sesList};
};

} // namespace lb
