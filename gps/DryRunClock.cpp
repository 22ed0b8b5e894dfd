#include "DryRunClock.h"

#include <cstdio>
#include <ctime>

#include "LocalZone.h"

namespace zelvar {

int DryRunClock::BaseBiasMinutes() const {
    return LocalStandardBiasMinutes(std::time(nullptr));
}

void DryRunClock::SetUtc(const ClockTime& utc, std::function<void(const ClockResult&)> done) {
    char text[96];
    std::snprintf(text, sizeof text, "demo: would set %04d-%02d-%02d %02d:%02d:%02d.%03d UTC", utc.year,
                  utc.month, utc.day, utc.hour, utc.minute, utc.second, utc.millisecond);
    if (done) done(ClockResult{false, text});
}

}  // namespace zelvar
