// Feeds the check of a station's status message with what any client of the
// broker may say on a status topic. Whatever it accepts is within what the
// table `stations` takes, and says the same again in the station's own form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "MqttTopics.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string error;
    const std::optional<zelvar::StationStatus> status = zelvar::ParseStationStatus(input, error);
    if (!status) {
        if (error.empty()) std::abort();
        return 0;
    }
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if ((status->instance.size() != 0 && status->instance.size() != 32) || status->online != status->state.has_value() ||
        (status->state && (status->state->transceivers < 0 || status->state->transceivers > 4)) ||
        status->queued.value_or(0) > kMax || status->dropped.value_or(0) > kMax) {
        std::abort();
    }
    const std::optional<zelvar::StationStatus> again = zelvar::ParseStationStatus(zelvar::StatusMessage(*status), error);
    if (!again || again->online != status->online || again->instance != status->instance ||
        again->queued != status->queued || again->dropped != status->dropped) {
        std::abort();
    }
    return 0;
}
