// Feeds arbitrary bytes to the NMEA reader as a run of deliveries, each
// preceded by its length byte, with the time-zone correction taken from the
// input; then sets a fake clock from whatever fix came out of it.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "GpsClock.h"
#include "NmeaFields.h"
#include "NmeaReader.h"

namespace {

class NullClock : public zelvar::SystemClock {
public:
    int BaseBiasMinutes() const override { return bias; }
    void SetUtc(const zelvar::ClockTime&, std::function<void(const zelvar::ClockResult&)> done) override {
        if (done) done(zelvar::ClockResult{true, {}});
    }
    int bias = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    zelvar::Settings settings;
    settings.GMTCorrection = static_cast<std::int8_t>(data[0]);
    NullClock clock;
    clock.bias = (static_cast<std::int8_t>(data[1])) * 30;
    data += 2;
    size -= 2;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    zelvar::SplitNmeaFields(bytes);

    zelvar::OwnFix fix;
    zelvar::NmeaReader reader(settings, fix);
    std::size_t at = 0;
    while (at < size) {
        const std::size_t n = data[at++];
        const std::size_t take = n < size - at ? n : size - at;
        if (reader.Receive(bytes.substr(at, take))) {
            try {
                zelvar::SetSystemClockFromGps(fix.RmcDate, fix.RmcTime, settings.GMTCorrection, clock, nullptr);
            } catch (const std::invalid_argument&) {
                // Not a number: the user is told; nothing else happens.
            }
        }
        at += take;
    }
    return 0;
}
