#pragma once

#include <functional>
#include <string>

namespace zelvar {

// A moment in UTC to set the clock to.
struct ClockTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0, millisecond = 0;

    bool operator==(const ClockTime&) const = default;
};

// How a request to set the clock ended. `reason` says why it was not set, in
// a few words the status bar can show ("no authorisation").
struct ClockResult {
    bool accepted = false;
    std::string reason;
};

// The computer's clock and time zone. The real one talks to the system;
// tests and the demo put a fake in its place, so no test ever sets the clock.
class SystemClock {
public:
    virtual ~SystemClock() = default;

    // Minutes by which UTC is ahead of the local standard time (daylight
    // saving left out): -180 for a zone three hours east of Greenwich.
    virtual int BaseBiasMinutes() const = 0;

    // Asks the system to set the clock to `utc`. The system may take its time
    // (an authorisation prompt), so the answer comes through `done`, on the
    // calling thread, once; possibly before SetUtc returns.
    virtual void SetUtc(const ClockTime& utc, std::function<void(const ClockResult&)> done) = 0;
};

}  // namespace zelvar
