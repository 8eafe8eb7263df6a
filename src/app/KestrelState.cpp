#include "app/KestrelState.h"

#include "submit/SpeedSteps.h"

namespace lb {

void StatusMemo::add(const QString& line) {
    m_lines.append(line);
    // Each change deletes the first line while more than 18 remain.
    while (m_lines.size() > MaxLines)
        m_lines.removeFirst();
    emit changed();
}

void StatusMemo::clear() {
    m_lines.clear();
    emit changed();
}

const QStringList& SubmitPanel::speedSteps() {
    return lb::speedSteps();
}

void SubmitPanel::setSpeedIndex(int index) {
    if (index < 0 || index >= speedSteps().size() || index == m_speedIndex)
        return;
    m_speedIndex = index;
    touch();
}

void SubmitPanel::setCounter(Counter c, int value) {
    m_counters[c] = value;
    touch();
}

void SubmitPanel::setBarPosition(int bar, int position) {
    m_barPos.at(std::size_t(bar)) = position;
    touch();
}

void SubmitPanel::setBarMaximum(int bar, int maximum) {
    m_barMax.at(std::size_t(bar)) = maximum;
    touch();
}

void SubmitPanel::resetCounters() {
    m_counters.fill(0);
    m_barPos.fill(0);
    touch();
}

void SubmitPanel::setStartEnabled(bool on) {
    m_start = on;
    touch();
}
void SubmitPanel::setStopEnabled(bool on) {
    m_stop = on;
    touch();
}
void SubmitPanel::setPauseEnabled(bool on) {
    m_pause = on;
    touch();
}
void SubmitPanel::setDatabaseButtonsEnabled(bool on) {
    m_dbButtons = on;
    touch();
}
void SubmitPanel::setBatchCheckEnabled(bool on) {
    m_batchCheck = on;
    touch();
}
void SubmitPanel::setIndicator(Indicator i) {
    m_indicator = i;
    touch();
}
void SubmitPanel::setWebsite(const QString& url) {
    m_website = url;
    touch();
}

} // namespace lb
