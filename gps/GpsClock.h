#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "SystemClock.h"

namespace zelvar {

// Whole hours by which the system's standard time is ahead of UTC, from its
// base bias: the minutes of a zone such as +5:30 are dropped.
int ZoneHours(int baseBiasMinutes);

// The UTC moment that makes the local clock show the GPS time as the GPS
// label shows it: RMC date ddmmyy and time hhmmss.sss, hour shifted by
// `gmtCorrection` - `zoneHours`. An hour of 24 or more carries into the next
// day. Nothing when the moment is no valid date and time (a negative hour
// among them). Throws std::invalid_argument with the conversion's message
// when a piece that must be a number is not one. Both texts must be non-empty.
std::optional<ClockTime> GpsClockTarget(std::string_view rmcDate, std::string_view rmcTime,
                                        int gmtCorrection, int zoneHours);

// Sets `clock` from the last accepted GPRMC date and time. Returns false,
// without asking the system, when a text is empty or the moment is invalid;
// otherwise true once the request is under way. `done` gets the outcome
// either way, once (with the reason when the clock was not set). Throws like
// GpsClockTarget, and then neither asks the system nor calls `done`.
bool SetSystemClockFromGps(std::string_view rmcDate, std::string_view rmcTime, int gmtCorrection,
                           SystemClock& clock, std::function<void(const ClockResult&)> done);

}  // namespace zelvar
