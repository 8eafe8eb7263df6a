#include "meta/MetaCreator.h"

#include "common/AsciiText.h"
#include "common/Dialogs.h"
#include "common/FileError.h"
#include "common/IndexList.h"
#include "common/IniFile.h"
#include "common/Paths.h"
#include "common/ProxySettings.h"
#include "net/HttpLimits.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace lb {

MetaCreator::MetaCreator(QString appDir, Dialogs& dialogs, QObject* parent)
    : QObject(parent), m_appDir(std::move(appDir)), m_dialogs(dialogs) {
    m_http.setObjectName(QStringLiteral("Httpget"));
    m_http.Agent = QStringLiteral("Mozilla/3.0 (compatible)");
    m_http.OnHeaderBegin = [this](net::THttpCli*) {
        setFetchState(QStringLiteral("Connected"), m_abortEnabled, m_saveEnabled);
    };
    m_http.OnDocData = [this](net::THttpCli* c, const char*, int) {
        // A document without end fails like an aborted fetch.
        if (c->ReceivedCount() > net::limits::kMaxPageBytes) {
            c->Abort();
            return;
        }
        setFetchState(QStringLiteral("Downloading: ") + QString::number(c->ReceivedCount()) +
                          QStringLiteral(" bytes"),
                      m_abortEnabled, m_saveEnabled);
    };
    m_http.OnRequestDone = [this](net::THttpCli*, net::THttpRequest, quint16 error) {
        fetchDone(error);
    };
}

MetaCreator::~MetaCreator() {
    // Nothing of a request still under way may reach this object or its file.
    m_http.OnRequestDone = nullptr;
    m_http.OnDocData = nullptr;
    m_http.OnHeaderBegin = nullptr;
    if (m_fetching)
        m_http.Abort();
    m_http.ReceiveStream = nullptr;
    if (m_temp) {
        m_temp->close();
        m_temp->remove();
    }
}

void MetaCreator::applyProxy(const ProxySettings& proxy) {
    if (!proxy.behindProxy)
        return;
    m_http.Proxy = proxy.host;
    m_http.ProxyPort = proxy.port;
    m_http.ProxyUsername = proxy.userName;
    m_http.ProxyPassword = proxy.password;
}

QString MetaCreator::tempPath() const {
    return appPath(m_appDir, QStringLiteral("\\temp.txt"));
}

void MetaCreator::setFetchState(const QString& label, bool abort, bool save) {
    m_label11 = label;
    m_abortEnabled = abort;
    m_saveEnabled = save;
    emit fetchStateChanged();
}

void MetaCreator::fetchDocument(const QString& url) {
    if (m_fetching)
        return;
    setFetchState(QStringLiteral("Connecting...."), true, false);
    m_temp = std::make_unique<QFile>(tempPath());
    if (!m_temp->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_temp.reset();
        setFetchState(QString(), false, true);
        m_dialogs.showError(FileError::cannotWrite(tempPath()).message());
        return;
    }
    m_http.URL = url;
    m_http.ReceiveStream = m_temp.get();
    try {
        m_fetching = true;
        m_http.GetAsync();
        m_infoLabel = QStringLiteral("Status: Recevied ") + QString::number(m_temp->size()) +
                      QStringLiteral(" bytes");
        emit fetchStateChanged();
    } catch (const net::EHttpException&) {
        m_fetching = false;
        m_http.ReceiveStream = nullptr;
        m_temp->close();
        m_temp->remove();
        m_temp.reset();
        m_infoLabel = QStringLiteral("Status: Failed : ") + QString::number(m_http.StatusCode()) +
                      QLatin1Char(' ') + m_http.ReasonPhrase();
        setFetchState(m_label11, false, true);
    }
}

void MetaCreator::fetchDone(quint16 error) {
    if (!m_fetching || !m_temp)
        return;
    m_fetching = false;
    m_http.ReceiveStream = nullptr;
    m_temp->close();
    QStringList lines;
    const bool ok = error == 0 && m_http.StatusCode() < 400;
    if (ok && m_temp->open(QIODevice::ReadOnly)) {
        lines = documentLines(m_temp->readAll());
        m_temp->close();
    }
    m_temp->remove();
    m_temp.reset();
    // A failed fetch shows only in the status; the document stays as it was.
    if (!ok)
        m_infoLabel = QStringLiteral("Status: Failed : ") + QString::number(m_http.StatusCode()) +
                      QLatin1Char(' ') + m_http.ReasonPhrase();
    setFetchState(QStringLiteral("Done"), false, true);
    if (ok)
        emit documentFetched(lines);
}

QString MetaCreator::indexPath() const {
    return appPath(m_appDir, QStringLiteral("\\data\\meta\\meta.hlx"));
}
QString MetaCreator::tagFolder() const {
    return appPath(m_appDir, QStringLiteral("\\data\\meta"));
}
QString MetaCreator::tagPath(const QString& name) const {
    return appPath(m_appDir, QStringLiteral("\\data\\meta\\") + name + QStringLiteral(".tag"));
}
QString MetaCreator::sessionFolder() const {
    return appPath(m_appDir, QStringLiteral("\\data\\session"));
}

bool MetaCreator::isReservedName(const QString& name) {
    const QString upper = asciiUpper(name);
    return upper == QLatin1String("LIST") || upper == QLatin1String("SESSION");
}

bool MetaCreator::isUnsafeName(const QString& name) {
    return name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) ||
           name == QLatin1String(".") || name == QLatin1String("..") || name.contains(QChar(0));
}

bool MetaCreator::refuse(const QString& name) {
    // A name that would leave the tag folder gets the message of a reserved one.
    if (!isUnsafeName(name))
        return false;
    m_dialogs.inform(QLatin1String(metaText::InvalidName),
                     QLatin1String(metaText::InvalidNameCaption));
    return true;
}

int MetaCreator::selectedRow() const {
    const QModelIndex i = m_sesSel.currentIndex();
    return i.isValid() ? i.row() : -1;
}

void MetaCreator::selectRow(int row) {
    if (row < 0 || row >= m_sesList.count()) {
        m_sesSel.clear();
        return;
    }
    m_sesSel.setCurrentIndex(m_sesList.index(row), QItemSelectionModel::ClearAndSelect);
}

void MetaCreator::readIndex() {
    const IniFile ini(indexPath());
    m_sesList.setNames(readIndexList(ini, QStringLiteral("List")));
}

void MetaCreator::writeIndex() {
    IniFile ini(indexPath());
    ini.eraseSection(QStringLiteral("List"));
    const QStringList names = m_sesList.names();
    for (int i = 0; i < names.size(); ++i) {
        ini.writeString(QStringLiteral("Session"), QStringLiteral("Count"), QString::number(i));
        ini.writeString(QStringLiteral("List"), QString::number(i), names.at(i));
    }
}

bool MetaCreator::loadTagSet(int row) {
    if (row < 0 || row >= m_sesList.count())
        return false;
    return loadTagSetByName(m_sesList.at(row));
}

bool MetaCreator::loadTagSetByName(const QString& name, bool requireFile) {
    if (refuse(name))
        return false;
    const QString path = tagPath(name);
    if (requireFile && !QFileInfo(path).isFile()) {
        m_dialogs.showError(FileError::cannotOpen(path).message());
        return false;
    }
    const IniFile ini(path);
    auto read = [&](const char* key) { return ini.readString(name, QLatin1String(key)); };
    fields.comments.clear();
    sessionName = name;
    fields.url = read("url");
    fields.title = read("title");
    fields.description = read("description");
    fields.owner = read("owner");
    fields.author = read("author");
    fields.copyright = read("copyright");
    fields.creator = read("creator");
    fields.publisher = read("publisher");
    fields.distribution = read("distribution");
    fields.rating = read("rating");
    fields.revisit = read("revisit");
    fields.day = read("day");
    fields.date = read("date");
    fields.month = read("month");
    fields.year = read("year");
    fields.keywords = read("key1");
    fields.charset = read("charset");
    fields.language = read("Language");
    fields.robots = read("robots");
    int n = ini.readString(name, QStringLiteral("comcount"), QStringLiteral("0")).trimmed().toInt();
    // A damaged count cannot ask for more comment lines than the set has keys.
    n = std::min(n, int(ini.readSection(name).size()));
    for (int i = 0; i <= n; ++i)
        fields.comments.append(
            ini.readString(name, QStringLiteral("comment") + QString::number(i)));
    emit fieldsChanged();
    return true;
}

bool MetaCreator::addEdit() {
    const QString name = sessionName;
    if (isReservedName(name) || isUnsafeName(name)) {
        m_dialogs.inform(QLatin1String(metaText::InvalidName),
                         QLatin1String(metaText::InvalidNameCaption));
        return false;
    }
    if (name.isEmpty()) {
        m_dialogs.inform(QLatin1String(metaText::NoName), QLatin1String(metaText::NoNameCaption));
        return false;
    }
    try {
        const IniFile index(indexPath());
        bool exists = false;
        for (int i = 0; i < m_sesList.count() && !exists; ++i)
            exists = index.readString(QStringLiteral("List"), QString::number(i)) == name;
        if (exists) {
            if (!m_dialogs.askYesNo(QLatin1String(metaText::Modify),
                                    QLatin1String(metaText::ModifyCaption)))
                return false;
        } else {
            m_sesList.add(name);
        }
        QDir().mkpath(tagFolder());
        IniFile tag(tagPath(name));
        const MetaFields& f = fields;
        const std::pair<const char*, const QString*> keys[] = {{"url", &f.url},
                                                               {"title", &f.title},
                                                               {"author", &f.author},
                                                               {"description", &f.description},
                                                               {"copyright", &f.copyright},
                                                               {"creator", &f.creator},
                                                               {"publisher", &f.publisher},
                                                               {"distribution", &f.distribution},
                                                               {"rating", &f.rating},
                                                               {"revisit", &f.revisit},
                                                               {"day", &f.day},
                                                               {"date", &f.date},
                                                               {"month", &f.month},
                                                               {"year", &f.year},
                                                               {"charset", &f.charset},
                                                               {"key1", &f.keywords},
                                                               {"owner", &f.owner},
                                                               {"language", &f.language},
                                                               {"robots", &f.robots}};
        for (const auto& [key, value] : keys)
            tag.writeString(name, QLatin1String(key), *value);
        for (int i = 0; i < f.comments.size(); ++i)
            tag.writeString(name, QStringLiteral("comment") + QString::number(i), f.comments.at(i));
        tag.writeString(name, QStringLiteral("comcount"), QString::number(f.comments.size() - 1));
        writeIndex();
    } catch (const FileError& e) {
        m_dialogs.showError(e.message());
        return false;
    }
    return true;
}

bool MetaCreator::deleteSelected() {
    const int row = selectedRow();
    if (row < 0) {
        m_dialogs.inform(QLatin1String(metaText::NoItem), QLatin1String(metaText::NoItemCaption));
        return false;
    }
    const QString name = m_sesList.at(row);
    if (refuse(name))
        return false;
    QFile::remove(tagPath(name));
    m_sesList.removeAt(row);
    selectRow(row < m_sesList.count() ? row : m_sesList.count() - 1);
    try {
        writeIndex();
    } catch (const FileError& e) {
        m_dialogs.showError(e.message());
    }
    clearFields();
    if (!m_sesList.isEmpty())
        loadTagSet(selectedRow());
    return true;
}

void MetaCreator::clearFields() {
    fields = MetaFields();
    emit fieldsChanged();
}

bool MetaCreator::importSession(const QString& path) {
    const QString name = QFileInfo(path).completeBaseName();
    if (refuse(name))
        return false;
    if (!QFileInfo(path).isFile()) {
        m_dialogs.showError(FileError::cannotOpen(path).message());
        return false;
    }
    const IniFile ini(path);
    sessionName = name;
    auto take = [&](const char* key, QString& field) {
        if (ini.valueExists(name, QLatin1String(key)))
            field = ini.readString(name, QLatin1String(key));
    };
    take("url", fields.url);
    take("title", fields.title);
    take("description", fields.description);
    take("email", fields.owner);
    take("company", fields.copyright);
    // Built from two keys: kept only when neither can be read.
    if (ini.valueExists(name, QStringLiteral("name")) ||
        ini.valueExists(name, QStringLiteral("last")))
        fields.author = ini.readString(name, QStringLiteral("name")) + QLatin1Char(' ') +
                        ini.readString(name, QStringLiteral("last"));
    QStringList words;
    bool anyWord = false;
    for (int i = 1; i <= 16; ++i) {
        const QString key = QStringLiteral("key") + QString::number(i);
        anyWord = anyWord || ini.valueExists(name, key);
        words << ini.readString(name, key);
    }
    if (anyWord)
        fields.keywords = words.join(QStringLiteral(", "));
    emit fieldsChanged();
    return true;
}

bool MetaCreator::inject(const QStringList& block, QStringList& document) {
    if (block.isEmpty()) {
        m_dialogs.inform(QLatin1String(metaText::NoTags), QString(), Dialogs::Icon::Information);
        return false;
    }
    if (!injectIntoLines(document, injectionLines(block, checks.language))) {
        m_dialogs.inform(QLatin1String(metaText::NoHead), QString(), Dialogs::Icon::Information);
        return false;
    }
    return true;
}

} // namespace lb
