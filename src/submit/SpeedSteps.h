#pragma once
// The speed list of "Step3 Submit": how many requests may be in flight.
#include <QStringList>

namespace lb {

inline const QStringList& speedSteps() {
    static const QStringList steps = {"1",   "5",   "10",  "25",  "50",  "75",  "100", "125",
                                      "150", "175", "200", "225", "250", "275", "300"};
    return steps;
}
constexpr int DefaultSpeedIndex = 3; // "25"

} // namespace lb
