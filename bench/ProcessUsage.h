#pragma once

#include <sys/resource.h>
#include <unistd.h>

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

// User and system time so far of this process's threads of that name
// (as the thread named itself), in milliseconds.
inline double ThreadCpuMs(const char* name) {
    const double tick = 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
    double ms = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name) continue;
        QFile stat(tasks.filePath(tid + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray line = stat.readAll();
        // Fields after the command, which may hold blanks: utime and stime
        // are the 14th and 15th of the line.
        const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (f.size() > 12) ms += (f[11].toDouble() + f[12].toDouble()) * tick;
    }
    return ms;
}

}  // namespace zelvar::bench
