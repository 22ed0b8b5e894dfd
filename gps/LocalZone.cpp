#include "LocalZone.h"

#include <algorithm>

namespace zelvar {

namespace {

long offsetSeconds(int year, int month) {
    std::tm t{};
    t.tm_year = year;
    t.tm_mon = month;
    t.tm_mday = 1;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    const std::time_t at = std::mktime(&t);
    std::tm local{};
    localtime_r(&at, &local);
    return local.tm_gmtoff;
}

}  // namespace

int LocalStandardBiasMinutes(std::time_t now) {
    std::tm local{};
    localtime_r(&now, &local);
    const long standard = std::min(offsetSeconds(local.tm_year, 0), offsetSeconds(local.tm_year, 6));
    return static_cast<int>(-standard / 60);
}

}  // namespace zelvar
