#pragma once

#include <cstddef>
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

// What a station says of itself on its retained status topic besides its counts.
struct StationState {
    bool gps = false;
    int transceivers = 0;
};

// A station's status message: online with its state and its counts, or
// offline (as its last will too). `instance` tells apart hosts that publish
// under the same station name: drawn once for each outbox. A station of an
// earlier version says "offline", or online without instance and counts.
struct StationStatus {
    bool online = false;
    std::string instance;  // 32 lower-case hex digits, or empty
    std::optional<StationState> state;  // only online
    std::optional<std::uint64_t> queued, dropped;
};
// {"dropped":0,"gps":true,"instance":"...","queued":12,"state":"online","transceivers":4},
// {"instance":"...","state":"offline"}
std::string StatusMessage(const StationStatus& status);
// A status message is at most this long.
constexpr std::size_t kMaxStatusBytes = 1024;
// The status of a message checked against the form above (the keys, their
// types and ranges, also of earlier versions); nothing, with the reason in
// `error`, for anything else.
std::optional<StationStatus> ParseStationStatus(std::string_view message, std::string& error);

// 32 random lower-case hex digits: a run id, an instance.
std::string RandomId();

}  // namespace zelvar
