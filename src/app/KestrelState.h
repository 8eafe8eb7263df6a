#pragma once
// State of the main window that the submission run drives: the status memo
// Memo3, the "Step3 Submit" panel (counters, bars, speed, button states, run
// indicator) and the proxy values.
// QtCore only, so it can be driven and checked without a window; TKestrel
// shows it and redraws on changed().
#include "common/NameListModel.h"
#include "common/ProxySettings.h"
#include "sessions/SessionRecord.h"

#include <array>
#include <QItemSelectionModel>
#include <QObject>
#include <QStringList>

namespace lb {

// Memo3: keeps its last 18 lines.
class StatusMemo : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxLines = 18;
    using QObject::QObject;

    void add(const QString& line);
    void clear();
    const QStringList& lines() const { return m_lines; }

signals:
    void lineAdded(const QString& line); // and the top lines beyond 18 dropped
    void cleared();

private:
    QStringList m_lines;
};

class SubmitPanel : public QObject {
    Q_OBJECT
public:
    enum class Indicator { Idle, Running, Paused, Ended }; // Ended: red
    enum Counter { PostingTo, Submitted, Successfull, Failed };
    static constexpr int StartSpeedIndex = 3; // "25"

    using QObject::QObject;

    static const QStringList& speedSteps(); // "1" "5" ... "300"

    // Changes between begin and end emit one changed() at the end, and only
    // when a value did change; nested pairs count.
    void beginChanges() { ++m_batchDepth; }
    void endChanges();
    int speedIndex() const { return m_speedIndex; }
    int speedValue() const { return speedSteps().at(m_speedIndex).toInt(); }
    QString speedText() const { return speedSteps().at(m_speedIndex); }
    void setSpeedIndex(int index);
    bool canGoSlower() const { return m_speedIndex > 0; }
    bool canGoFaster() const { return m_speedIndex + 1 < speedSteps().size(); }

    // Posting_to, Submitted, Successfull, Failed (each "0" at rest).
    int counter(Counter c) const { return m_counters[c]; }
    void setCounter(Counter c, int value);
    // Bar1..Bar4 (index 0..3), range 0..maximum (100 at design time).
    int barPosition(int bar) const { return m_barPos[std::size_t(bar)]; }
    int barMaximum(int bar) const { return m_barMax[std::size_t(bar)]; }
    void setBarPosition(int bar, int position);
    void setBarMaximum(int bar, int maximum);
    void resetCounters(); // counters "0", bars 0

    bool startEnabled() const { return m_start; }
    bool stopEnabled() const { return m_stop; }
    bool pauseEnabled() const { return m_pause; }
    bool databaseButtonsEnabled() const { return m_dbButtons; }
    bool batchCheckEnabled() const { return m_batchCheck; }
    void setStartEnabled(bool on);
    void setStopEnabled(bool on);
    void setPauseEnabled(bool on);
    void setDatabaseButtonsEnabled(bool on);
    void setBatchCheckEnabled(bool on);
    Indicator indicator() const { return m_indicator; }
    void setIndicator(Indicator i);
    // The black Website panel: the URL of the session being submitted.
    const QString& website() const { return m_website; }
    void setWebsite(const QString& url);

signals:
    void changed();

private:
    void touch();
    template <typename T> void assign(T& member, const T& value) {
        if (member == value)
            return;
        member = value;
        touch();
    }

    int m_speedIndex = StartSpeedIndex;
    std::array<int, 4> m_counters{};
    std::array<int, 4> m_barPos{};
    std::array<int, 4> m_barMax{100, 100, 100, 100};
    bool m_start = true;
    bool m_stop = false;
    bool m_pause = false;
    bool m_dbButtons = true;
    bool m_batchCheck = true;
    Indicator m_indicator = Indicator::Idle;
    QString m_website;
    int m_batchDepth = 0;
    bool m_dirty = false;
};

} // namespace lb
