#include "app/KestrelState.h"

#include "submit/SpeedSteps.h"

namespace lb {

void StatusMemo::add(const QString& line) {
    m_lines.append(line);
    // Each change deletes the first line while more than 18 remain.
    while (m_lines.size() > MaxLines)
        m_lines.removeFirst();
    emit lineAdded(line);
}

void StatusMemo::clear() {
    m_lines.clear();
    emit cleared();
}

const QStringList& SubmitPanel::speedSteps() {
    return lb::speedSteps();
}

void SubmitPanel::touch() {
    if (m_batchDepth > 0)
        m_dirty = true;
    else
        emit changed();
}

void SubmitPanel::endChanges() {
    if (m_batchDepth > 0 && --m_batchDepth == 0 && m_dirty) {
        m_dirty = false;
        emit changed();
    }
}

void SubmitPanel::setSpeedIndex(int index) {
    if (index < 0 || index >= speedSteps().size())
        return;
    assign(m_speedIndex, index);
}

void SubmitPanel::setCounter(Counter c, int value) {
    assign(m_counters[c], value);
}

void SubmitPanel::setBarPosition(int bar, int position) {
    assign(m_barPos.at(std::size_t(bar)), position);
}

void SubmitPanel::setBarMaximum(int bar, int maximum) {
    assign(m_barMax.at(std::size_t(bar)), maximum);
}

void SubmitPanel::resetCounters() {
    beginChanges();
    for (int c = 0; c < 4; ++c) {
        assign(m_counters[std::size_t(c)], 0);
        assign(m_barPos[std::size_t(c)], 0);
    }
    endChanges();
}

void SubmitPanel::setStartEnabled(bool on) {
    assign(m_start, on);
}
void SubmitPanel::setStopEnabled(bool on) {
    assign(m_stop, on);
}
void SubmitPanel::setPauseEnabled(bool on) {
    assign(m_pause, on);
}
void SubmitPanel::setDatabaseButtonsEnabled(bool on) {
    assign(m_dbButtons, on);
}
void SubmitPanel::setBatchCheckEnabled(bool on) {
    assign(m_batchCheck, on);
}
void SubmitPanel::setIndicator(Indicator i) {
    assign(m_indicator, i);
}
void SubmitPanel::setWebsite(const QString& url) {
    assign(m_website, url);
}

} // namespace lb
