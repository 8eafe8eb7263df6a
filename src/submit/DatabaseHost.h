#pragma once
// The engine side of a submission host, answered from the engine database
// (KeyList, the engine editor, the category file, the batch check box). The
// window and the command line add where the results are shown.
#include "submit/SubmissionHost.h"

namespace lb {

class EngineDatabase;

class DatabaseHost : public SubmissionHost {
public:
    explicit DatabaseHost(EngineDatabase& db) : m_db(db) {}

    int engineCount() const override;
    EngineRecord showEngine(int index) override;
    int engineCountPanel() const override;
    int engineLinesCount() const override;
    int engineListCount() const override;
    QString categoryValue(const QString& type, const QString& category) const override;
    bool includeBatch() const override;

protected:
    EngineDatabase& m_db;
};

} // namespace lb
