#include "MqttTopics.h"

#include <nlohmann/json.hpp>

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

std::string OnlineMessage(const StationState& state) {
    return nlohmann::json{{"state", "online"}, {"gps", state.gps}, {"transceivers", state.transceivers}}
        .dump();
}

std::optional<bool> ParseStationOnline(std::string_view message) {
    if (message == kOfflineMessage) return false;
    const nlohmann::json value = nlohmann::json::parse(message, nullptr, false);
    if (!value.is_object()) return std::nullopt;
    const auto state = value.find("state");
    if (state == value.end() || *state != "online") return std::nullopt;
    return true;
}

}  // namespace zelvar
