#pragma once

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "MqttTopics.h"

namespace zelvar::test {

// Any client of the broker, speaking MQTT 5: keeps the last message of every
// topic it hears and says what the test wants, with or without a floor;
// anonymous unless a user is given.
class MqttClient {
public:
    MqttClient(int port, const std::string& topic, const std::string& user = {},
               const std::string& password = {}) {
        mosquitto_lib_init();
        mosq_ = mosquitto_new(nullptr, true, this);
        mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
        if (!user.empty()) mosquitto_username_pw_set(mosq_, user.c_str(), password.c_str());
        mosquitto_connect_callback_set(mosq_, [](mosquitto*, void* self, int rc) {
            static_cast<MqttClient*>(self)->connack_ = rc;
        });
        mosquitto_message_callback_set(
            mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
                auto* client = static_cast<MqttClient*>(self);
                std::lock_guard lock(client->mutex_);
                client->last_[m->topic] = std::string(static_cast<const char*>(m->payload),
                                                      static_cast<std::size_t>(m->payloadlen));
            });
        mosquitto_connect(mosq_, "127.0.0.1", port, 30);
        mosquitto_subscribe(mosq_, nullptr, topic.c_str(), 1);
        mosquitto_loop_start(mosq_);
    }
    ~MqttClient() {
        mosquitto_disconnect(mosq_);
        mosquitto_loop_stop(mosq_, false);
        mosquitto_destroy(mosq_);
    }
    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    // The broker's answer to the last connection: 0 accepted, -1 none yet.
    int connack() const { return connack_; }

    // Retained messages come in the order of the subscriptions.
    void subscribe(const std::string& topic) { mosquitto_subscribe(mosq_, nullptr, topic.c_str(), 1); }
    std::string last(const std::string& topic) {
        std::lock_guard lock(mutex_);
        return last_[topic];
    }
    // Retained at QoS 1.
    void say(const std::string& topic, const std::string& message) {
        send(topic, message, true, {});
    }
    // A package as a station sends it, at QoS 1 with its floor.
    void sendPackage(const std::string& topic, const std::string& message, std::uint64_t floor) {
        send(topic, message, false, floor);
    }

private:
    void send(const std::string& topic, const std::string& message, bool retain,
              std::optional<std::uint64_t> floor) {
        mosquitto_property* properties = nullptr;
        if (floor) {
            mosquitto_property_add_string_pair(&properties, MQTT_PROP_USER_PROPERTY, kFloorProperty,
                                               std::to_string(*floor).c_str());
        }
        mosquitto_publish_v5(mosq_, nullptr, topic.c_str(), static_cast<int>(message.size()),
                             message.data(), 1, retain, properties);
        mosquitto_property_free_all(&properties);
    }

    mosquitto* mosq_;
    std::atomic<int> connack_{-1};
    std::mutex mutex_;
    std::map<std::string, std::string> last_;
};

}  // namespace zelvar::test
