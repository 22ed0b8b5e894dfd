#include "StationNotes.h"

#include <nlohmann/json.hpp>

#include <algorithm>

#include "PackageStore.h"

namespace zelvar {

namespace {

// Stations and the instances of one station followed: anyone may invent names.
constexpr std::size_t kFollowedStations = 10'000;
constexpr std::size_t kFollowedInstances = 16;

std::string noteJson(const std::string& station, const StationNote& note) {
    // The status in the station's own form has the keys of the table's
    // columns: state, instance, gps, transceivers, queued, dropped.
    nlohmann::json object = note.status ? nlohmann::json::parse(StatusMessage(*note.status)) : nlohmann::json::object();
    object["station"] = station;
    object["heard"] = note.heardMs;
    if (note.hosts) object["hosts"] = *note.hosts;
    if (note.packageMs) object["package"] = *note.packageMs;
    // Station names are checked UTF-8; nothing is replaced.
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

void StoreStationNotes(PackageStore& store, const StationNotes& notes,
                       const std::function<void(const std::string& station, const std::string& why)>& refused) {
    if (notes.empty()) return;
    std::string all = "[";
    for (const auto& [station, note] : notes) {
        if (all.size() > 1) all += ',';
        all += noteJson(station, note);
    }
    try {
        store.noteStations(all + "]");
        return;
    } catch (const StoreError& failed) {
        if (!failed.refusedData()) throw;
    }
    for (const auto& [station, note] : notes) {
        try {
            store.noteStations("[" + noteJson(station, note) + "]");
        } catch (const StoreError& failed) {
            if (!failed.refusedData()) throw;
            refused(station, std::string("the database refused its state: ") + failed.what());
        }
    }
}

StationHosts::Heard StationHosts::take(std::string_view station, const StationStatus& status, Clock::time_point now) {
    if (stations_.size() >= kFollowedStations && stations_.find(station) == stations_.end()) stations_.clear();
    Hosts& hosts = stations_[std::string(station)];
    std::erase_if(hosts.online, [&](const auto& host) { return host.second < now - kSilence; });
    if (status.online) {
        if (hosts.online.size() >= kFollowedInstances && hosts.online.count(status.instance) == 0) {
            hosts.online.erase(std::min_element(hosts.online.begin(), hosts.online.end(),
                                                [](const auto& a, const auto& b) { return a.second < b.second; }));
        }
        hosts.online[status.instance] = now;
    } else {
        hosts.online.erase(status.instance);
    }
    Heard heard;
    heard.hosts = static_cast<int>(hosts.online.size());
    heard.shared = heard.hosts > 1 && !hosts.told;
    hosts.told = heard.hosts > 1;
    for (const auto& [instance, when] : hosts.online) {
        if (!heard.instances.empty()) heard.instances += ", ";
        heard.instances += instance.empty() ? "(none named)" : instance;
    }
    return heard;
}

}  // namespace zelvar
