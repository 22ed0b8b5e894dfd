#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "MqttLogin.h"
#include "MqttTopics.h"
#include "Outbox.h"

struct mosquitto;
struct mosquitto_message;
typedef struct mqtt5__property mosquitto_property;

namespace zelvar {

struct PackageFields;

struct PublishConfig {
    std::string host = "127.0.0.1";
    int port = 1883;
    MqttLogin login;
    std::string station;
    std::string prefix = "zelvar";
    std::string outboxPath;
    std::uint64_t outboxLimit = 1'000'000'000;
    // Packages handed to libmosquitto and not yet acknowledged by the broker:
    // libmosquitto keeps every QoS 1 message in memory until then.
    std::size_t window = 200;
    // Without a new acknowledgement for this long, what is held goes out again.
    std::chrono::milliseconds stallResend{10'000};
    // Bytes of packages handed over and waiting in memory while the outbox
    // cannot take them (a full or failing disk); beyond, the oldest go.
    std::uint64_t heldLimit = 16'000'000;
};

// What the status panel shows.
struct PublishStatus {
    bool connected = false;
    std::uint64_t queued = 0;   // in the outbox or waiting for it, not yet confirmed by a collector
    std::uint64_t dropped = 0;  // given up, for either reason below
    std::uint64_t droppedForRoom = 0;     // the oldest of a full outbox
    std::uint64_t droppedUnwritten = 0;   // the oldest in memory while the outbox could not be written
    std::string outboxFailure;            // the last failure of the outbox, also after it mended
    bool outboxFailing = false;           // it fails now
    std::uint64_t ignoredAcks = 0;  // confirmations beyond what the run published
};

// Why the status panel counts packages as dropped, or that the outbox fails
// now; empty when neither.
std::string DroppedReason(const PublishStatus& status, std::uint64_t outboxLimit);

// Publishes the packages of one station at QoS 1 to <prefix>/<station>/packages
// and keeps each one in the outbox until a collector confirms it on
// <prefix>/<station>/ack. The caller's thread only hands the package over;
// storing, sending and confirming run on a thread of the publisher's own and
// on libmosquitto's network thread.
class Publisher {
public:
    // Opens the outbox (taking over what an earlier run left there) and
    // starts connecting. Throws OutboxError, std::runtime_error for a
    // configuration libmosquitto refuses.
    explicit Publisher(PublishConfig config);
    // Says "offline" on the status topic, and stops. Held packages stay in
    // the outbox for the next run.
    ~Publisher();
    Publisher(const Publisher&) = delete;
    Publisher& operator=(const Publisher&) = delete;

    // The run id: a random text drawn at each start.
    const std::string& source() const { return source_; }

    // A package as the decoder took it, with its receive time (ISO 8601, or
    // empty); gets the next seq of the run. Never waits for the network or
    // the disk.
    void publish(const PackageFields& fields, std::string_view time);
    // A JSON object made by the caller with source() and the seq from
    // nextSeq(), handed over before the next one is drawn.
    void publishJson(std::string_view json);
    std::uint64_t nextSeq() { return seq_++; }

    void setStationState(const StationState& state);
    PublishStatus status() const;
    // Packages handed over since the start.
    std::uint64_t taken() const { return taken_.load(); }
    std::uint64_t outboxLimit() const { return config_.outboxLimit; }
    // The failure of the outbox, empty while it works.
    std::string outboxFailure() const;

private:
    void run();
    void storeTaken(std::unique_lock<std::mutex>& lock);
    void applyAcks(std::unique_lock<std::mutex>& lock);
    void feed(std::unique_lock<std::mutex>& lock);
    // One package to the broker at QoS 1 with its run's floor; false when
    // the connection is gone.
    bool send(const std::string& source, std::string_view body, int& mid);
    void sendState();
    // Drops the oldest runs waiting in memory beyond the limit.
    void boundIncoming();
    std::uint64_t floorOf(const std::string& source);

    static void onConnect(mosquitto*, void* self, int rc, int flags, const mosquitto_property*);
    static void onDisconnect(mosquitto*, void* self, int rc, const mosquitto_property*);
    static void onPublish(mosquitto*, void* self, int mid, int reason, const mosquitto_property*);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message,
                          const mosquitto_property*);

    const PublishConfig config_;
    const std::string source_;
    const std::string packagesTopic_;
    const std::string ackTopic_;
    const std::string statusTopic_;
    const std::size_t refill_;  // free places in the window that wake the feeding
    std::atomic<std::uint64_t> seq_{1};
    std::atomic<std::uint64_t> taken_{0};
    std::string json_;  // the caller's, reused

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool woken_ = false;  // something for the publisher thread to do
    std::vector<OutboxEntry> incoming_;  // handed over, not yet in the outbox, in runs
    std::uint64_t incomingCount_ = 0;
    std::uint64_t incomingBytes_ = 0;
    std::chrono::steady_clock::time_point incomingSince_;  // when its first package came
    std::vector<Acknowledgement> acks_;
    bool connected_ = false;
    bool reconnected_ = false;
    bool stateChanged_ = false;
    StationState state_;
    std::set<int> inFlight_;
    std::set<int> earlyAcked_;  // acknowledged before the feeding noted them
    std::uint64_t queued_ = 0;
    std::uint64_t droppedForRoom_ = 0;
    std::uint64_t droppedUnwritten_ = 0;
    std::uint64_t ignoredAcks_ = 0;
    std::string outboxFailure_;
    std::string lastOutboxFailure_;
    std::string instance_;
    StationStatus sentStatus_;  // the last status said
    std::chrono::steady_clock::time_point statusSent_;

    // The publisher thread's own.
    std::unique_ptr<Outbox> outbox_;
    std::int64_t cursor_ = 0;  // the last outbox run handed to libmosquitto whole
    OutboxEntry feeding_;      // the run being handed over, when one is
    std::size_t fedBytes_ = 0;  // how far into its body
    std::uint64_t fedCount_ = 0;
    std::map<std::string, std::uint64_t> floors_;
    std::map<std::string, std::uint64_t> confirmed_;  // the furthest confirmation of each run
    std::chrono::steady_clock::time_point lastProgress_;

    mosquitto* mosq_ = nullptr;
    std::thread thread_;
};

}  // namespace zelvar
