#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "MqttLogin.h"

namespace zelvar {

struct ServiceOptions {
    std::string conninfo;
    std::string host = "127.0.0.1";
    int port = 1883;
    std::string prefix = "zelvar";
    std::string clientId = "zelvar-collect";
    MqttLogin login;
    std::uint64_t pendingLimit = 100'000'000;
    // A package older than this, or more than a day ahead, waits in `refused`.
    std::chrono::seconds maxAge = std::chrono::days(30);
};

// A station opens at most this many days new to the collector in an hour;
// packages of further days wait in `refused`.
constexpr std::size_t kNewDaysPerHour = 10;

// Counts for the log and the tests.
struct ServiceCounts {
    std::uint64_t received = 0;
    std::uint64_t rejected = 0;
    std::uint64_t stored = 0;  // rows new to the table
};

// Subscribes to <prefix>/+/packages at QoS 1 in a persistent session, stores
// every valid package in `packages` within a second of its arrival (the
// others, with their reason, topic and payload, in `refused`), and after
// each commit publishes on <prefix>/<station>/ack, per run of a station, the
// seq up to which every package is stored. Outlives broker and database
// restarts; while the database is away it holds at most pendingLimit bytes of
// rows, then stops reading from the broker, which keeps the rest in the
// session. Returns when `stop` is set, after storing what it holds if it can.
// Logs to stderr.
ServiceCounts RunCollectService(const ServiceOptions& options, const std::atomic<bool>& stop);

}  // namespace zelvar
