#pragma once
// TRAR: tests and unpacks RAR archives (the main window's RAR1). libarchive
// reads the archive; this component walks its entries, fires the events,
// checks every entry's data against the CRC32 of its file header (libarchive
// does not for stored entries) and creates files only inside TargetDir.
//
// Events are std::function members, sender first; an unassigned one is
// skipped. Both operations run synchronously and fire their events inside
// the call. Error numbers are the extraction library's published result
// codes (RarCode in RarHeaders.h).
#include "update/RarHeaders.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace lb {

class TRAR : public QObject {
    Q_OBJECT
public:
    using TProcessDataProcN =
        std::function<int(TRAR* sender, const char* addr, int blockSize, qint64 position)>;
    using TChangeVolProcN = std::function<int(TRAR* sender, const QString& arcName, int mode)>;
    using TErrorProc = std::function<void(TRAR* sender, int error)>;
    using TCommentProc = std::function<void(TRAR* sender, const QString& comment)>;
    using TFileEvent = std::function<void(TRAR* sender, const RARHeaderData& file)>;
    using TFileResultEvent =
        std::function<void(TRAR* sender, const RARHeaderData& file, bool result)>;
    using TReqPassword =
        std::function<void(TRAR* sender, const RARHeaderData& file, QString& password)>;

    explicit TRAR(QObject* parent = nullptr);

    QString ArchiveName;
    QString TargetDir;
    QStringList FilesToExtract; // empty: all
    QStringList FilesToTest;    // empty: all
    bool Stop = false;
    bool LoadedDLL() const { return m_loaded; }

    bool Test();
    bool Extract();

    TProcessDataProcN OnProcessData;
    TChangeVolProcN OnVolumeChange; // single-volume archives only: never asked
    TErrorProc OnError;
    TCommentProc OnComment;
    TFileEvent OnListFile;
    TFileEvent OnExtracting;
    TFileResultEvent OnExtract;
    TFileEvent OnTesting;
    TFileResultEvent OnTested;
    TReqPassword OnReqPassword;

    // Size of the blocks handed to OnProcessData.
    static constexpr int BlockSize = 64 * 1024;

private:
    bool run(bool extract);
    void error(int code) {
        if (OnError)
            OnError(this, code);
    }

    bool m_loaded = false;
};

} // namespace lb
