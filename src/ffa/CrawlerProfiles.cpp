#include "ffa/CrawlerProfiles.h"

#include "common/Dialogs.h"
#include "common/Paths.h"

namespace lb {

const QString CrawlerProfiles::DefaultName = QStringLiteral("default");

namespace {
const QString CaseSwitchKey = QStringLiteral("QDBCaseSensitive");
}

CrawlerProfiles::CrawlerProfiles(Dialogs& dialogs) : m_dialogs(dialogs) {
    m_view.aggressiveUpdate = false;
    m_view.cacheFrequency = 0;
    m_view.cacheSize = 65536;
    m_view.compression = false;
    m_view.setReadOnly(false);
    m_view.saveOnClose = false;
    m_view.expandedFileNames = true;
    m_view.grepMatch = false;
    m_view.autoEdit = false;
    m_view.dateTimeFormat = QStringLiteral("c");
    m_view.exclusionTag = -999;
    m_view.OnKey = [this] { return m_key.left(255); };
}

void CrawlerProfiles::bindPanel(const QList<QDBControl*>& controls) {
    m_view.bindPanel(controls);
}

QString CrawlerProfiles::storeFile(const QString& appDir) {
    return appPath(appDir, QStringLiteral("\\setting.set"));
}

void CrawlerProfiles::open(const QString& appDir) {
    m_current.clear();
    m_view.setFileName(storeFile(appDir));
    select(DefaultName);
}

QStringList CrawlerProfiles::profileNames() const {
    QStringList names;
    if (!m_view.isOpen())
        return names;
    for (int i = 0; i < m_view.count(); ++i) {
        const QString k = m_view.key(i);
        if (!TQDBView::isSignatureKey(k) && k.compare(CaseSwitchKey, Qt::CaseInsensitive) != 0)
            names.append(k);
    }
    return names;
}

bool CrawlerProfiles::exists(const QString& name) const {
    if (!m_view.isOpen() || TQDBView::isSignatureKey(name))
        return false;
    return m_view.indexOf(name) >= 0;
}

bool CrawlerProfiles::select(const QString& name) {
    if (!exists(name) || !m_view.findKey(name))
        return false;
    m_view.fetch();
    m_current = m_view.currentKey();
    return true;
}

void CrawlerProfiles::newProfile() {
    m_view.insert();
}

void CrawlerProfiles::editProfile() {
    m_view.requireOpen();
    if (m_current.isEmpty() || !m_view.findKey(m_current))
        throw EQDBNoData(qdbtext::outOfBounds());
    m_view.edit();
}

void CrawlerProfiles::cancel() {
    if (!m_current.isEmpty() && m_view.isOpen())
        m_view.findKey(m_current);
    m_view.cancel();
}

bool CrawlerProfiles::save(const QString& nameBoxText) {
    if (nameBoxText.compare(DefaultName, Qt::CaseInsensitive) == 0 &&
        !m_dialogs.askYesNo(QStringLiteral("You are about to overwrite your default settings.\n "
                                           "Do you wish to continue  ?"),
                            QStringLiteral("Default Overwrite WARNING!!")))
        return false;
    if (nameBoxText.isEmpty()) {
        m_dialogs.inform(
            QStringLiteral("You have not entered custom name to save in the Custom List Box"),
            QStringLiteral("No Custom Name Entered"), Dialogs::Icon::Warning);
        return false;
    }
    m_view.requireOpen();
    const QString key = nameBoxText.left(255);
    // The store's own items are not profiles: a profile under such a name
    // would lock the file against its panel or vanish from the list.
    if (TQDBView::isSignatureKey(key) || key.compare(CaseSwitchKey, Qt::CaseInsensitive) == 0)
        throw EQDBBadKey(QStringLiteral("The name %1 is reserved by the store").arg(key));
    if (!m_view.editing()) {
        // Nothing pending: store what the panel shows under that name.
        if (exists(key)) {
            m_view.findKey(key);
            m_view.edit();
        } else {
            m_view.insert(false);
        }
    } else if (m_view.state() == TQDBView::State::Edit && !m_current.isEmpty()) {
        m_view.findKey(m_current);
    }
    m_key = key;
    m_view.post();
    m_view.save();
    // Reopen from disk, as the next start of the program will see it.
    m_view.setFileName(m_view.fileName());
    m_current.clear();
    select(key);
    return true;
}

void CrawlerProfiles::deleteCurrent() {
    m_view.requireOpen();
    if (m_view.editing())
        cancel();
    if (m_current.isEmpty() || !m_view.findKey(m_current))
        throw EQDBNoData(qdbtext::outOfBounds());
    m_view.deleteCurrent();
    m_view.save();
    m_current.clear();
    if (m_view.currentIsData()) {
        m_view.fetch();
        m_current = m_view.currentKey();
    }
}

} // namespace lb
