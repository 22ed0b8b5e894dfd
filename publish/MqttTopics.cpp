#include "MqttTopics.h"

#include <nlohmann/json.hpp>

#include <limits>
#include <random>

namespace zelvar {

std::string StationTopic(std::string_view prefix, std::string_view station, std::string_view leaf) {
    std::string topic(prefix);
    topic.append("/").append(station).append("/").append(leaf);
    return topic;
}

std::string AckMessage(const Acknowledgement& ack) {
    return nlohmann::json{{"source", ack.source}, {"seq", ack.seq}}.dump();
}

std::optional<Acknowledgement> ParseAckMessage(std::string_view message) {
    const nlohmann::json value = nlohmann::json::parse(message, nullptr, false);
    if (!value.is_object()) return std::nullopt;
    const auto source = value.find("source");
    const auto seq = value.find("seq");
    if (source == value.end() || !source->is_string() || seq == value.end() ||
        !seq->is_number_unsigned()) {
        return std::nullopt;
    }
    return Acknowledgement{source->get<std::string>(), seq->get<std::uint64_t>()};
}

std::string StatusMessage(const StationStatus& status) {
    nlohmann::json message{{"state", status.online ? "online" : "offline"}};
    if (!status.instance.empty()) message["instance"] = status.instance;
    if (status.state) {
        message["gps"] = status.state->gps;
        message["transceivers"] = status.state->transceivers;
    }
    if (status.queued) message["queued"] = *status.queued;
    if (status.dropped) message["dropped"] = *status.dropped;
    return message.dump();
}

std::optional<StationStatus> ParseStationStatus(std::string_view message, std::string& error) {
    StationStatus status;
    if (message == "offline") return status;
    if (message.size() > kMaxStatusBytes) {
        error = "over 1 KiB";
        return std::nullopt;
    }
    // Invalid UTF-8 is a parse error.
    const nlohmann::json value = nlohmann::json::parse(message, nullptr, false);
    if (!value.is_object()) {
        error = "not a JSON object";
        return std::nullopt;
    }
    constexpr auto kMaxCount = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    auto count = [&](const char* key, std::optional<std::uint64_t>& into) {
        const auto found = value.find(key);
        if (found == value.end()) return true;
        if (!found->is_number_unsigned() || found->get<std::uint64_t>() > kMaxCount) return false;
        into = found->get<std::uint64_t>();
        return true;
    };
    for (const auto& [key, item] : value.items()) {
        if (key != "state" && key != "instance" && key != "gps" && key != "transceivers" && key != "queued" &&
            key != "dropped") {
            error = "unknown key";
            return std::nullopt;
        }
    }
    const auto state = value.find("state");
    const auto instance = value.find("instance");
    const auto gps = value.find("gps");
    const auto transceivers = value.find("transceivers");
    status.online = state != value.end() && *state == "online";
    if (state == value.end() || !(status.online || *state == "offline")) {
        error = "no valid state";
    } else if (instance != value.end() &&
               !(instance->is_string() && instance->get_ref<const std::string&>().size() == 32 &&
                 instance->get_ref<const std::string&>().find_first_not_of("0123456789abcdef") ==
                     std::string::npos)) {
        error = "no valid instance";
    } else if ((gps != value.end() || status.online) && (gps == value.end() || !gps->is_boolean())) {
        error = "no valid gps";
    } else if ((transceivers != value.end() || status.online) &&
               (transceivers == value.end() || !transceivers->is_number_unsigned() ||
                transceivers->get<std::uint64_t>() > 4)) {
        error = "no valid transceivers";
    } else if (!count("queued", status.queued) || !count("dropped", status.dropped)) {
        error = "no valid count";
    } else if (!status.online && (gps != value.end() || transceivers != value.end())) {
        error = "state of a station offline";
    }
    if (!error.empty()) return std::nullopt;
    if (instance != value.end()) status.instance = instance->get<std::string>();
    if (status.online) status.state = StationState{gps->get<bool>(), transceivers->get<int>()};
    return status;
}

std::string RandomId() {
    std::random_device device;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string id;
    for (int i = 0; i < 4; ++i) {
        const std::uint32_t word = device();
        for (int shift = 28; shift >= 0; shift -= 4) id += kHex[(word >> shift) & 15];
    }
    return id;
}

}  // namespace zelvar
