#pragma once
// What a submission run needs of the window (or the command line) that drives
// it: the engine list on screen, the engine editor, the category file, the
// check boxes of the session page and the places its results are shown.
#include "engines/EngineRecord.h"

#include <QString>

namespace lb {

namespace net {
class THttpCli;
}

class SubmissionHost {
public:
    virtual ~SubmissionHost() = default;

    // Engines of the engine list (KeyList), in list order.
    virtual int engineCount() const = 0;
    // Selects engine i in the list, shows it in the engine editor and returns
    // the record as the editor holds it.
    virtual EngineRecord showEngine(int index) = 0;
    // The "Engine Count" panel's number, the lines of EngineLines, the names of EngineList.
    virtual int engineCountPanel() const = 0;
    virtual int engineLinesCount() const = 0;
    virtual int engineListCount() const = 0;
    // Value of key `category` in section "Sub" + type of the category file ("" if absent).
    virtual QString categoryValue(const QString& type, const QString& category) const = 0;

    virtual bool generateReports() const = 0;
    virtual bool includeBatch() const = 0;
    // "I am behind a firewall or proxy" and the template client HttpCli1.
    virtual bool behindProxy() const = 0;
    virtual const net::THttpCli* proxyTemplate() const = 0;
    // The client the batch pass posts with (HTTP2).
    virtual net::THttpCli* batchClient() = 0;

    virtual void showWebsite(const QString& url) = 0;
    // Repaints the report list and, with reports on, shows the given report.
    virtual void runEnded(const QString& lastReportPath) = 0;
    // Shows a file error (a report that cannot be written).
    virtual void showFileError(const QString& message) = 0;
    // Lets pending events run (the window keeps up during a run).
    virtual void processEvents() = 0;
};

} // namespace lb
