#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelvar {

// The topics of a station under a prefix ("zelvar/north/packages") and the
// messages on them that are not packages, shared by the program and the
// collector.
std::string StationTopic(std::string_view prefix, std::string_view station, std::string_view leaf);

// The MQTT 5 user property of every package message: the lowest seq of its
// source that the station still holds. Everything below it is stored or
// given up, so a collector that starts afresh (its memory of a source lost)
// still never confirms a package it has not stored.
constexpr const char* kFloorProperty = "floor";

// An acknowledgement: every package of `source` up to `seq` is stored.
struct Acknowledgement {
    std::string source;
    std::uint64_t seq = 0;
};
// {"source":"...","seq":N}
std::string AckMessage(const Acknowledgement& ack);
std::optional<Acknowledgement> ParseAckMessage(std::string_view message);

// The retained state of a station on its status topic; the last will is "offline".
struct StationState {
    bool gps = false;
    int transceivers = 0;
};
// {"state":"online","gps":true,"transceivers":4}
std::string OnlineMessage(const StationState& state);
constexpr const char* kOfflineMessage = "offline";
// True for an online message, false for "offline", nothing for anything else.
std::optional<bool> ParseStationOnline(std::string_view message);

}  // namespace zelvar
