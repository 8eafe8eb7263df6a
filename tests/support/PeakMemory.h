#pragma once
// Runs a program to its end and gives the peak resident memory the kernel
// recorded for that one child (ru_maxrss from wait4), for the tests where
// bounded memory is the point.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace lb::test {

struct MeasuredRun {
    int exitCode = -1; // -1: did not end in time (killed), -2: crashed
    QByteArray err;    // standard error; standard output is thrown away
    long peakKb = 0;
};

MeasuredRun runMeasured(const QString& dir, const QString& program, const QStringList& args,
                        int timeoutMs = 60000);

// AddressSanitizer keeps freed memory in quarantine and maps shadow memory:
// peak figures of such a build say nothing about the program's own bound.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kPeakMemoryMeaningful = false;
#else
inline constexpr bool kPeakMemoryMeaningful = true;
#endif

} // namespace lb::test
