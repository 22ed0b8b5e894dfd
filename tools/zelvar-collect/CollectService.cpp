#include "CollectService.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "MqttTopics.h"
#include "PackageMessage.h"
#include "PackageStore.h"

namespace zelvar {

namespace {

using Clock = std::chrono::steady_clock;

// Rows wait at most this long for their batch: well within the second the
// stations may wait for their packages to be stored.
constexpr auto kBatchAge = std::chrono::milliseconds(300);
constexpr std::size_t kBatchRows = 20'000;
constexpr auto kRetry = std::chrono::seconds(1);

// What is stored of one run of a station: every seq up to `mark`, and these above it.
struct RunProgress {
    std::uint64_t mark = 0;
    std::set<std::uint64_t> above;
};

class Service {
public:
    Service(const ServiceOptions& options) : options_(options) {
        mosquitto_lib_init();
        // A persistent session: what arrives while the collector is away
        // waits for it at the broker.
        mosq_ = mosquitto_new(options_.clientId.c_str(), false, this);
        if (mosq_ == nullptr) throw std::runtime_error("cannot make an MQTT client");
        mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
        // libmosquitto takes 20 unacknowledged messages at a time unless told
        // otherwise: far too few for many stations. What it acknowledges is
        // held here, within the pending limit, until it is stored.
        mosquitto_int_option(mosq_, MOSQ_OPT_RECEIVE_MAXIMUM, 65535);
        if (!options_.caFile.empty() &&
            mosquitto_tls_set(mosq_, options_.caFile.c_str(), nullptr, nullptr, nullptr, nullptr) !=
                MOSQ_ERR_SUCCESS) {
            throw std::runtime_error("cannot use the CA file " + options_.caFile);
        }
        mosquitto_connect_v5_callback_set(mosq_, &Service::onConnect);
        mosquitto_message_v5_callback_set(mosq_, &Service::onMessage);
        subscription_ = options_.prefix + "/+/packages";
    }

    ~Service() {
        mosquitto_disconnect(mosq_);
        mosquitto_destroy(mosq_);
        mosquitto_lib_cleanup();
    }

    ServiceCounts run(const std::atomic<bool>& stop) {
        while (!stop.load()) {
            const auto now = Clock::now();
            if (!connected_ && now >= nextConnect_) connect();
            if (connected_ && rows_.size() < options_.pendingLimit) {
                if (paused_) {
                    std::cerr << "zelvar-collect: reading from the broker again\n";
                    paused_ = false;
                }
                const int rc = mosquitto_loop(mosq_, 100, 1);
                if (rc != MOSQ_ERR_SUCCESS) {
                    std::cerr << "zelvar-collect: broker connection lost: " << mosquitto_strerror(rc)
                              << '\n';
                    connected_ = false;
                    nextConnect_ = Clock::now() + kRetry;
                }
            } else {
                if (connected_ && !paused_) {
                    std::cerr << "zelvar-collect: holding " << count_ << " packages (" << rows_.size()
                              << " bytes), all it may: reading from the broker paused\n";
                    paused_ = true;
                }
                // Away from the broker, or holding all it may: the database first.
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            if (count_ > 0 && Clock::now() >= nextStore_ &&
                (count_ >= kBatchRows || Clock::now() - firstPending_ >= kBatchAge)) {
                store();
            }
        }
        if (count_ > 0) store();
        if (connected_) mosquitto_loop(mosq_, 100, 1);  // the last acknowledgements
        return counts_;
    }

private:
    void connect() {
        mosquitto_property* properties = nullptr;
        // The session outlives any pause of the collector.
        mosquitto_property_add_int32(&properties, MQTT_PROP_SESSION_EXPIRY_INTERVAL, 0xFFFFFFFF);
        const int rc = mosquitto_connect_bind_v5(mosq_, options_.host.c_str(), options_.port, 30, nullptr,
                                                 properties);
        mosquitto_property_free_all(&properties);
        if (rc != MOSQ_ERR_SUCCESS) {
            if (!brokerDown_) {
                std::cerr << "zelvar-collect: cannot connect to the broker " << options_.host << ':'
                          << options_.port << ": " << mosquitto_strerror(rc) << '\n';
            }
            brokerDown_ = true;
            nextConnect_ = Clock::now() + kRetry;
            return;
        }
        brokerDown_ = false;
        connected_ = true;
    }

    static void onConnect(mosquitto* mosq, void* self, int rc, int, const mosquitto_property*) {
        auto* service = static_cast<Service*>(self);
        if (rc != 0) {
            std::cerr << "zelvar-collect: the broker refused the connection: "
                      << mosquitto_reason_string(rc) << '\n';
            return;
        }
        std::cerr << "zelvar-collect: connected to the broker, subscribed to "
                  << service->subscription_ << '\n';
        mosquitto_subscribe(mosq, nullptr, service->subscription_.c_str(), 1);
    }

    static void onMessage(mosquitto*, void* self, const mosquitto_message* message,
                          const mosquitto_property* properties) {
        static_cast<Service*>(self)->take(message, properties);
    }

    void take(const mosquitto_message* message, const mosquitto_property* properties) {
        ++counts_.received;
        // <prefix>/<station>/packages, the station one level.
        const std::string_view topic(message->topic);
        const std::string_view leaf = "/packages";
        std::string_view station;
        if (topic.size() > options_.prefix.size() + 1 + leaf.size() &&
            topic.substr(0, options_.prefix.size()) == options_.prefix &&
            topic[options_.prefix.size()] == '/' && topic.substr(topic.size() - leaf.size()) == leaf) {
            station = topic.substr(options_.prefix.size() + 1,
                                   topic.size() - leaf.size() - options_.prefix.size() - 1);
        }
        std::uint64_t floor = 0;
        char* name = nullptr;
        char* value = nullptr;
        const mosquitto_property* p =
            mosquitto_property_read_string_pair(properties, MQTT_PROP_USER_PROPERTY, &name, &value, false);
        while (p != nullptr) {
            if (std::string_view(name) == kFloorProperty) floor = std::strtoull(value, nullptr, 10);
            std::free(name);
            std::free(value);
            name = value = nullptr;
            p = mosquitto_property_read_string_pair(p, MQTT_PROP_USER_PROPERTY, &name, &value, true);
        }
        PackageMessage package;
        std::string error;
        const std::string_view body(static_cast<const char*>(message->payload),
                                    static_cast<std::size_t>(std::max(message->payloadlen, 0)));
        if (station.empty() || !PackageMessageRow(body, station, package, rows_, error)) {
            ++counts_.rejected;
            if (counts_.rejected <= 10 || counts_.rejected % 1000 == 0) {
                std::cerr << "zelvar-collect: rejected a message on " << topic << " ("
                          << (error.empty() ? std::string("not a station's topic") : error) << "), "
                          << counts_.rejected << " so far\n";
            }
            // A package no collector will take must not hold up its station:
            // it counts as done with once the batch is committed.
            if (station.empty() || package.source.empty()) return;
            package.station = station;
        }
        if (count_ == 0) firstPending_ = Clock::now();
        ++count_;
        arrived_.push_back({std::move(package), floor});
    }

    void store() {
        try {
            if (!store_) {
                store_ = std::make_unique<PackageStore>(options_.conninfo);
                storedBefore_ = 0;
                if (databaseDown_) std::cerr << "zelvar-collect: the database is back\n";
                databaseDown_ = false;
            }
            store_->add(rows_);
            store_->flush();
        } catch (const StoreError& failed) {
            if (!databaseDown_) {
                std::cerr << "zelvar-collect: database: " << failed.what() << "; holding " << count_
                          << " packages, trying again\n";
            }
            databaseDown_ = true;
            store_.reset();
            nextStore_ = Clock::now() + kRetry;
            return;
        }
        counts_.stored += store_->stored() - storedBefore_;
        storedBefore_ = store_->stored();
        acknowledge();
        rows_.clear();
        arrived_.clear();
        count_ = 0;
    }

    void acknowledge() {
        std::map<std::pair<std::string, std::string>, RunProgress*> touched;
        for (const Arrived& arrived : arrived_) {
            auto key = std::make_pair(arrived.package.station, arrived.package.source);
            RunProgress& run = runs_[key];
            if (arrived.floor > 0 && arrived.floor - 1 > run.mark) run.mark = arrived.floor - 1;
            if (arrived.package.seq > run.mark) run.above.insert(arrived.package.seq);
            touched.emplace(std::move(key), &run);
        }
        for (const auto& [key, run] : touched) {
            while (!run->above.empty() && *run->above.begin() <= run->mark + 1) {
                if (*run->above.begin() == run->mark + 1) ++run->mark;
                run->above.erase(run->above.begin());
            }
            if (run->mark == 0 || !connected_) continue;
            // Also when nothing moved: a station that sent again after a lost
            // acknowledgement needs to hear it again.
            const std::string topic = StationTopic(options_.prefix, key.first, "ack");
            const std::string message = AckMessage({key.second, run->mark});
            mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(message.size()),
                              message.data(), 1, true);
        }
    }

    struct Arrived {
        PackageMessage package;
        std::uint64_t floor = 0;
    };

    const ServiceOptions& options_;
    mosquitto* mosq_ = nullptr;
    std::string subscription_;
    bool connected_ = false;
    bool paused_ = false;  // holding all it may
    bool brokerDown_ = false;
    bool databaseDown_ = false;
    Clock::time_point nextConnect_{};
    Clock::time_point nextStore_{};
    Clock::time_point firstPending_{};
    std::unique_ptr<PackageStore> store_;
    std::uint64_t storedBefore_ = 0;
    std::string rows_;
    std::uint64_t count_ = 0;
    std::vector<Arrived> arrived_;
    std::map<std::pair<std::string, std::string>, RunProgress> runs_;
    ServiceCounts counts_;
};

}  // namespace

ServiceCounts RunCollectService(const ServiceOptions& options, const std::atomic<bool>& stop) {
    Service service(options);
    return service.run(stop);
}

}  // namespace zelvar
