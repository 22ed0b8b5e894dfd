#pragma once

#include <sys/resource.h>

#include <QDir>
#include <QFile>

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

}  // namespace zelvar::bench
