#include "submit/DatabaseHost.h"

#include "engines/EngineDatabase.h"

namespace lb {

int DatabaseHost::engineCount() const { return m_db.keyList().count(); }

EngineRecord DatabaseHost::showEngine(int index) {
    m_db.selectKeyListRow(index);
    m_db.ShowEngine();
    return m_db.editor();
}

int DatabaseHost::engineCountPanel() const { return m_db.engineCount(); }
int DatabaseHost::engineLinesCount() const { return m_db.engineLines().count(); }
int DatabaseHost::engineListCount() const { return m_db.engineList().count(); }

QString DatabaseHost::categoryValue(const QString& type, const QString& category) const {
    return m_db.categoryIni().readString(QStringLiteral("Sub") + type, category);
}

bool DatabaseHost::includeBatch() const { return m_db.batchIncluded(); }

} // namespace lb
