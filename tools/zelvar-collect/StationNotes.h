#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "MqttTopics.h"

namespace zelvar {

// What the collector notes of a station for the table `stations`.
struct StationNote {
    std::int64_t heardMs = 0;             // when it was last heard of, since 1970 UTC
    std::optional<StationStatus> status;  // its last status
    std::optional<int> hosts;             // the hosts online under its name, when a status was heard
    std::optional<std::int64_t> packageMs;  // the newest time of its packages stored
};
using StationNotes = std::map<std::string, StationNote, std::less<>>;

class PackageStore;

// Notes them in the table `stations` through zelvar_note_stations. Should
// the server refuse a note for its values, the others go alone, and
// `refused` hears of each one refused, with why. Throws StoreError for a
// failure of the database.
void StoreStationNotes(PackageStore& store, const StationNotes& notes,
                       const std::function<void(const std::string& station, const std::string& why)>& refused);

// The hosts that say they are online under each station's name, told apart
// by their instance. One that says nothing for a while (its last will lost,
// or the collector's news of it) is no longer counted.
class StationHosts {
public:
    using Clock = std::chrono::steady_clock;
    // A station of the current version says its state at least once a minute.
    static constexpr auto kSilence = std::chrono::minutes(5);

    struct Heard {
        int hosts = 0;       // online under the name now
        bool shared = false;  // just became more than one: say so
        std::string instances;  // of those online, for the log
    };
    Heard take(std::string_view station, const StationStatus& status, Clock::time_point now);

private:
    struct Hosts {
        std::map<std::string, Clock::time_point> online;  // instance, last heard
        bool told = false;
    };
    std::map<std::string, Hosts, std::less<>> stations_;
};

}  // namespace zelvar
