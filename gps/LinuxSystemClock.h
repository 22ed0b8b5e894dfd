#pragma once

#include <QObject>
#include <cstdint>

#include "SystemClock.h"

namespace zelvar {

// The computer's real clock. Sets it through the system's time service on
// D-Bus (org.freedesktop.timedate1), interactively, so a desktop user gets
// the system's authorisation prompt, and without waiting for the answer. The
// change is sent relative to the clock at the moment of the request, so the
// time the prompt stays open does not make the clock late. Without the
// service the clock is set directly when this process may do so.
//
// Only the program itself makes one; tests and the demo use other clocks.
class LinuxSystemClock : public QObject, public SystemClock {
public:
    explicit LinuxSystemClock(QObject* parent = nullptr);

    int BaseBiasMinutes() const override;
    void SetUtc(const ClockTime& utc, std::function<void(const ClockResult&)> done) override;

private:
    static ClockResult setDirectly(std::int64_t shiftMicroseconds);
};

}  // namespace zelvar
