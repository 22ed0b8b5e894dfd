#include "ForgetStation.h"

#include <libpq-fe.h>
#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <chrono>
#include <memory>
#include <stdexcept>

#include "MqttTopics.h"
#include "PgConnection.h"
#include "Schema.h"

namespace zelvar {

namespace {

// What the broker answered so far.
struct Answers {
    int connack = -1;
    int acked = 0;
    int refused = 0;  // a reason code of failure, the last one
};

constexpr auto kBrokerWait = std::chrono::seconds(30);

void clearRetained(const ServiceOptions& options, const std::string& station) {
    mosquitto_lib_init();
    Answers answers;
    // Not the service's session, which a client of the same id would end.
    mosquitto* mosq = mosquitto_new(nullptr, true, &answers);
    if (mosq == nullptr) throw std::runtime_error("cannot make an MQTT client");
    const std::unique_ptr<mosquitto, void (*)(mosquitto*)> owned(mosq, [](mosquitto* m) {
        mosquitto_destroy(m);
        mosquitto_lib_cleanup();
    });
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    SetMqttLogin(mosq, options.login);
    mosquitto_connect_v5_callback_set(mosq, [](mosquitto*, void* self, int rc, int, const mosquitto_property*) {
        static_cast<Answers*>(self)->connack = rc;
    });
    mosquitto_publish_v5_callback_set(mosq, [](mosquitto*, void* self, int, int reason, const mosquitto_property*) {
        auto* said = static_cast<Answers*>(self);
        ++said->acked;
        if (reason >= 0x80) said->refused = reason;
    });
    const std::string broker = options.host + ":" + std::to_string(options.port);
    int rc = mosquitto_connect(mosq, options.host.c_str(), options.port, 30);
    const auto until = std::chrono::steady_clock::now() + kBrokerWait;
    auto await = [&](auto done) {
        while (rc == MOSQ_ERR_SUCCESS && !done() && std::chrono::steady_clock::now() < until) {
            rc = mosquitto_loop(mosq, 100, 1);
        }
        if (rc != MOSQ_ERR_SUCCESS) {
            throw std::runtime_error("the broker " + broker + ": " + mosquitto_strerror(rc));
        }
        if (!done()) throw std::runtime_error("the broker " + broker + " did not answer");
    };
    await([&] { return answers.connack >= 0; });
    if (answers.connack != 0) {
        throw std::runtime_error("the broker refused the connection: " +
                                 std::string(mosquitto_reason_string(answers.connack)));
    }
    for (const char* leaf : {"status", "ack"}) {
        const std::string topic = StationTopic(options.prefix, station, leaf);
        rc = mosquitto_publish(mosq, nullptr, topic.c_str(), 0, nullptr, 1, true);
        if (rc != MOSQ_ERR_SUCCESS) break;
    }
    await([&] { return answers.acked == 2; });
    if (answers.refused != 0) {
        throw std::runtime_error("the broker refused to clear the station's topics: " +
                                 std::string(mosquitto_reason_string(answers.refused)));
    }
    mosquitto_disconnect(mosq);
}

}  // namespace

std::string ForgetStation(const ServiceOptions& options, const std::string& station) {
    clearRetained(options, station);
    const PgConnection conn = PgConnect(options.conninfo);
    CheckSchema(conn.get());
    const char* values[] = {station.c_str()};
    const PgResult deleted = PgExecParams(conn.get(), "DELETE FROM stations WHERE station = $1", 1, values);
    const std::string topics = StationTopic(options.prefix, station, "status") + " and ack";
    return std::string(PQcmdTuples(deleted.get())) == "0"
               ? "no row of the station " + station + "; cleared " + topics
               : "forgot the station " + station + ": its row, and " + topics;
}

}  // namespace zelvar
