#pragma once

#include <sys/resource.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace zelvar::bench {

// User and system time of this process so far, in milliseconds.
inline double CpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_usec) / 1000.0;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Time on the processor so far of this process's threads of that name (as
// the thread named itself), in milliseconds, to the nanosecond the
// scheduler counts.
inline double ThreadCpuMs(const char* name) {
    double ms = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name) continue;
        QFile schedstat(tasks.filePath(tid + QStringLiteral("/schedstat")));
        if (!schedstat.open(QIODevice::ReadOnly)) continue;
        ms += schedstat.readAll().split(' ').value(0).toDouble() / 1e6;
    }
    return ms;
}

// A memory figure of this process from /proc/self/status, in kilobytes.
inline long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string key;
    long kb = 0;
    while (status >> key) {
        if (key == field) {
            status >> kb;
            break;
        }
    }
    return kb;
}

// The most resident memory this process has had, in kilobytes.
inline long PeakRssKb() {
    return StatusKb("VmHWM:");
}

// Starts the peak anew from the memory resident now, so that the peak of
// one step can be read after it.
inline void ResetPeakRss() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Runs this program again as a child with `args` and reads the numbers it
// prints, so that each run starts with a fresh process.
inline std::vector<double> RunChild(const QStringList& args) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), args);
    child.waitForFinished(-1);
    std::vector<double> values;
    for (const QByteArray& field : child.readAllStandardOutput().simplified().split(' ')) {
        values.push_back(field.toDouble());
    }
    return values;
}

inline double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

}  // namespace zelvar::bench
