#pragma once

#include "SystemClock.h"

namespace zelvar {

// A clock that only says what it would set, for the demo: the local zone is
// the real one, the clock is never touched.
class DryRunClock : public SystemClock {
public:
    int BaseBiasMinutes() const override;
    void SetUtc(const ClockTime& utc, std::function<void(const ClockResult&)> done) override;
};

}  // namespace zelvar
