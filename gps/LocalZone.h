#pragma once

#include <ctime>

namespace zelvar {

// The local zone's base bias in minutes (UTC = local standard time + bias)
// for the year of `now`: the smaller of the UTC offsets on 1 January and
// 1 July is the standard one, whichever hemisphere's summer time is in force.
int LocalStandardBiasMinutes(std::time_t now);

}  // namespace zelvar
