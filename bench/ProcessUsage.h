#pragma once

#include <sys/resource.h>

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

}  // namespace zelvar::bench
