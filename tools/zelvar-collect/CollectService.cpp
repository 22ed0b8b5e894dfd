#include "CollectService.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <map>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "MqttTopics.h"
#include "PackageJson.h"
#include "PackageMessage.h"
#include "PackageStore.h"
#include "StationNotes.h"

namespace zelvar {

namespace {

using Clock = std::chrono::steady_clock;

// Rows wait at most this long for their batch: well within the second the
// stations may wait for their packages to be stored.
constexpr auto kBatchAge = std::chrono::milliseconds(300);
constexpr std::size_t kBatchRows = 20'000;
constexpr auto kRetry = std::chrono::seconds(1);
constexpr std::size_t kKeptCapacity = 16'000'000;
// Stations and reasons the log names; beyond them refusals are only counted.
constexpr std::size_t kLoggedRefusals = 10'000;
// Stations whose new days are followed before those of the last hour are
// sorted out; anyone may invent station names.
constexpr std::size_t kFollowedStations = 10'000;
// What a station's note costs against the limit of what is held.
constexpr std::size_t kNoteBytes = 512;

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// What is stored of one run of a station: every seq up to `mark`, and these above it.
struct RunProgress {
    std::uint64_t mark = 0;
    std::set<std::uint64_t> above;
};

// Two threads: the reader takes messages from the broker into `incoming_`
// while the committer stores the previous batch, so that a commit never holds
// up the reading. The reader alone talks to libmosquitto: it also sends the
// acknowledgements that the committer leaves after each commit.
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
        SetMqttLogin(mosq_, options_.login);
        mosquitto_connect_v5_callback_set(mosq_, &Service::onConnect);
        mosquitto_message_v5_callback_set(mosq_, &Service::onMessage);
        subscription_ = options_.prefix + "/+/packages";
        statusSubscription_ = options_.prefix + "/+/status";
    }

    ~Service() {
        mosquitto_disconnect(mosq_);
        mosquitto_destroy(mosq_);
        mosquitto_lib_cleanup();
    }

    ServiceCounts run(const std::atomic<bool>& stop) {
        std::thread committer(&Service::commit, this);
        bool paused = false;
        while (!stop.load()) {
            const auto now = Clock::now();
            if (!connected_ && now >= nextConnect_) connect();
            std::unique_lock lock(mutex_);
            const std::uint64_t held = heldBytes();
            if (connected_ && held < options_.pendingLimit) {
                if (paused) {
                    std::cerr << "zelvar-collect: reading from the broker again\n";
                    paused = false;
                }
                lock.unlock();
                // Short, so that acknowledgements wait little when nothing comes in.
                const int rc = mosquitto_loop(mosq_, 20, 1);
                sendAcks();
                if (rc != MOSQ_ERR_SUCCESS) {
                    // After a refusal the broker closes the connection: no news.
                    if (refusal_.empty()) {
                        std::cerr << "zelvar-collect: broker connection lost: " << mosquitto_strerror(rc)
                                  << '\n';
                    }
                    connected_ = false;
                    nextConnect_ = Clock::now() + kRetry;
                }
            } else {
                if (connected_ && !paused) {
                    std::cerr << "zelvar-collect: holding " << incomingCount_ + batchCount_ << " packages ("
                              << held << " bytes), all it may: reading from the broker paused\n";
                    paused = true;
                }
                // Away from the broker, or holding all it may: the database first.
                roomMade_.wait_for(lock, std::chrono::milliseconds(20));
                lock.unlock();
                sendAcks();
            }
        }
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        batchDue_.notify_one();
        committer.join();
        sendAcks();
        if (connected_) mosquitto_loop(mosq_, 100, 1);  // the last acknowledgements
        ServiceCounts counts;
        counts.received = received_;
        counts.rejected = rejected_;
        counts.stored = stored_;
        return counts;
    }

private:
    struct Arrived {
        PackageMessage package;
        std::uint64_t floor = 0;  // only of a package that is stored
        std::size_t rowEnd = 0;   // where its row ends in the batch's rows (none: where the last one ended)
        bool stored = false;      // it has a row that the server took
    };
    // Rows in COPY form and what they belong to; rows of `refused` for the
    // messages that failed the check; the stations' last status messages.
    struct Batch {
        std::string rows;
        std::vector<Arrived> arrived;
        std::string refused;
        StationNotes stations;

        std::size_t bytes() const { return rows.size() + refused.size() + stations.size() * kNoteBytes; }
        void clear() {
            rows.clear();
            arrived.clear();
            refused.clear();
            stations.clear();
        }
        void append(Batch& more) {
            for (Arrived& each : more.arrived) each.rowEnd += rows.size();
            rows.append(more.rows);
            std::move(more.arrived.begin(), more.arrived.end(), std::back_inserter(arrived));
            refused.append(more.refused);
            for (auto& [station, note] : more.stations) stations[station] = std::move(note);
            more.clear();
        }
    };

    std::uint64_t heldBytes() const { return incoming_.bytes() + batchBytes_; }

    // Each station's reason once: a station resends what was refused, and
    // anyone may send much of it.
    void logRefusal(std::string_view station, const std::string& reason) {
        std::lock_guard lock(logMutex_);
        if (loggedRefusals_.size() >= kLoggedRefusals) return;
        if (!loggedRefusals_.emplace(std::string(station), reason).second) return;
        std::cerr << "zelvar-collect: refused a package of station " << station << ": " << reason << '\n';
    }

    // Why a package of `station` at `seconds` since 1970 is not stored now;
    // empty when it is. Old times and far days would each make a partition.
    std::string untrustedTime(std::string_view station, std::int64_t seconds) {
        const std::int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count();
        if (seconds < now - options_.maxAge.count()) return std::string(kTimeReason) + "older than --max-age";
        if (seconds > now + 86400) return std::string(kTimeReason) + "more than a day ahead";
        const std::int64_t day = seconds / 86400;
        if (days_.count(day) != 0) return {};
        const auto hourAgo = Clock::now() - std::chrono::hours(1);
        if (newDays_.size() > kFollowedStations) {
            std::erase_if(newDays_, [&](const auto& followed) {
                return followed.second.empty() || followed.second.back() < hourAgo;
            });
        }
        std::deque<Clock::time_point>& opened = newDays_[std::string(station)];
        while (!opened.empty() && opened.front() < hourAgo) opened.pop_front();
        if (opened.size() >= kNewDaysPerHour) {
            return std::string(kTimeReason) + "of a new day beyond the station's " +
                   std::to_string(kNewDaysPerHour) + " an hour";
        }
        opened.push_back(Clock::now());
        days_.insert(day);
        return {};
    }

    // A row of `refused`: the station, topic, reason and payload (bytea).
    static void appendRefused(std::string& out, std::string_view station, std::string_view topic,
                              std::string_view reason, std::string_view payload) {
        static constexpr char kHex[] = "0123456789abcdef";
        AppendCopyText(out, station);
        out += '\t';
        AppendCopyText(out, topic);
        out += '\t';
        AppendCopyText(out, reason);
        out.append("\t\\\\x");
        for (const char c : payload.substr(0, kMaxPackageBytes)) {
            out += kHex[static_cast<unsigned char>(c) >> 4];
            out += kHex[static_cast<unsigned char>(c) & 15];
        }
        out += '\n';
    }

    // On the reader thread. Dropped while the broker is away: a station that
    // hears none sends its oldest packages again, and hears it then.
    void sendAcks() {
        std::vector<std::pair<std::string, std::string>> acks;
        {
            std::lock_guard lock(mutex_);
            if (acks_.empty()) return;
            acks.swap(acks_);
        }
        if (!connected_) return;
        for (const auto& [station, message] : acks) {
            // A station online hears it live; one offline finds it retained
            // when it connects (and says it is online, which clears it).
            const bool retain = offline_.count(station) != 0;
            if (retain) clearAcks_.erase(station);
            publishAck(station, message, retain);
        }
    }

    void publishAck(const std::string& station, std::string_view message, bool retain) {
        const std::string topic = StationTopic(options_.prefix, station, "ack");
        mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(message.size()), message.data(), 1,
                          retain);
    }

    // On the reader thread. A station subscribes to its ack topic before it
    // says it is online, so that it has had any retained confirmation by
    // then: none needs to stay. Nothing retained is left of a station that
    // holds nothing, nor of names anyone may invent.
    void takeStatus(std::string_view station, std::string_view topic, std::string_view message) {
        if (message.empty()) return;  // a retained status cleared
        std::string error;
        std::optional<StationStatus> status = ParseStationStatus(message, error);
        if (status && !ValidStationName(station)) error = "no valid station";
        if (!error.empty()) {
            error = "status: " + error;
            ++rejected_;
            logRefusal(station, error);
            refused_.clear();
            appendRefused(refused_, station, topic, error, message);
            pend([&] { incoming_.refused.append(refused_); });
            return;
        }
        const StationHosts::Heard heard = hosts_.take(station, *status, Clock::now());
        if (heard.shared) {
            std::cerr << "zelvar-collect: station " << station << " is used by two hosts at once (instances "
                      << heard.instances << "): give each its own station name\n";
        }
        pend([&] {
            StationNote& note = incoming_.stations[std::string(station)];
            note.heardMs = nowMs();
            note.hosts = heard.hosts;
            // One of two hosts going says nothing of the one that stays.
            if (status->online || heard.hosts == 0) note.status = std::move(status);
        });
        // Forgetting costs only a confirmation retained or cleared needlessly.
        if (offline_.size() >= kFollowedStations) offline_.clear();
        if (clearAcks_.size() >= kFollowedStations) clearAcks_.clear();
        if (heard.hosts == 0) {
            offline_.emplace(station);
            return;
        }
        offline_.erase(std::string(station));
        // Also what an earlier collector left: each station's once.
        if (clearAcks_.emplace(station).second) publishAck(std::string(station), "", true);
    }

    // Adds to what waits for the committer, under the mutex, and starts the
    // batch's clock; a full batch goes at once.
    template <typename Add>
    void pend(Add add) {
        bool due;
        {
            std::lock_guard lock(mutex_);
            if (incomingCount_ == 0) firstPending_ = Clock::now();
            ++incomingCount_;
            add();
            due = incomingCount_ == 1 || incomingCount_ == kBatchRows;
        }
        if (due) batchDue_.notify_one();
    }

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
            // Said once while the reason stays: a wrong password is tried
            // again every second until someone mends it.
            const std::string reason = mosquitto_reason_string(rc);
            if (reason != service->refusal_) {
                std::cerr << "zelvar-collect: the broker refused the connection: " << reason
                          << "; trying again every second\n";
                service->refusal_ = reason;
            }
            return;
        }
        service->refusal_.clear();
        std::cerr << "zelvar-collect: connected to the broker, subscribed to "
                  << service->subscription_ << " and " << service->statusSubscription_ << '\n';
        mosquitto_subscribe(mosq, nullptr, service->subscription_.c_str(), 1);
        mosquitto_subscribe(mosq, nullptr, service->statusSubscription_.c_str(), 1);
    }

    static void onMessage(mosquitto*, void* self, const mosquitto_message* message,
                          const mosquitto_property* properties) {
        static_cast<Service*>(self)->take(message, properties);
    }

    // The station of <prefix>/<station>/<leaf>, one level; empty for another topic.
    std::string_view stationOf(std::string_view topic, std::string_view leaf) const {
        const std::size_t prefix = options_.prefix.size();
        if (topic.size() <= prefix + 2 + leaf.size() || !topic.starts_with(options_.prefix) ||
            topic[prefix] != '/' || !topic.ends_with(leaf) || topic[topic.size() - leaf.size() - 1] != '/') {
            return {};
        }
        return topic.substr(prefix + 1, topic.size() - leaf.size() - prefix - 2);
    }

    // On the reader thread.
    void take(const mosquitto_message* message, const mosquitto_property* properties) {
        const std::string_view topic(message->topic);
        const std::string_view body(static_cast<const char*>(message->payload),
                                    static_cast<std::size_t>(std::max(message->payloadlen, 0)));
        if (const std::string_view station = stationOf(topic, "status"); !station.empty()) {
            takeStatus(station, topic, body);
            return;
        }
        const std::string_view station = stationOf(topic, "packages");
        if (station.empty()) return;  // the subscriptions give no other topic
        ++received_;
        std::string floorText;
        char* name = nullptr;
        char* value = nullptr;
        const mosquitto_property* p =
            mosquitto_property_read_string_pair(properties, MQTT_PROP_USER_PROPERTY, &name, &value, false);
        while (p != nullptr) {
            if (std::string_view(name) == kFloorProperty) floorText = value;
            std::free(name);
            std::free(value);
            name = value = nullptr;
            p = mosquitto_property_read_string_pair(p, MQTT_PROP_USER_PROPERTY, &name, &value, true);
        }
        PackageMessage package;
        std::string error;
        row_.clear();
        refused_.clear();
        if (PackageMessageRow(body, station, package, row_, error) && package.time) {
            error = untrustedTime(station, *package.time);
        }
        if (!error.empty()) {
            row_.clear();
            ++rejected_;
            logRefusal(station, error);
            appendRefused(refused_, station, topic, error, body);
            package.station = station;
        }
        // Only a package that is stored says what its station holds.
        const std::uint64_t floor = error.empty() ? PackageFloor(floorText, package.seq) : 0;
        pend([&] {
            incoming_.rows.append(row_);
            incoming_.refused.append(refused_);
            // Refused without a run: stored in `refused`, confirmed to no one.
            if (!package.source.empty()) {
                incoming_.arrived.push_back({std::move(package), floor, incoming_.rows.size(), error.empty()});
            }
        });
    }

    // The committer thread: stores what came in, the batch that failed last
    // time first, then acknowledges.
    void commit() {
        // At once, so that what keeps the database from working is said
        // before the first package comes.
        try {
            open();
        } catch (const StoreError& failed) {
            databaseFailed(failed);
        }
        std::unique_lock lock(mutex_);
        while (true) {
            const bool retrying = batchCount_ > 0;
            const auto due = std::max(nextStore_, retrying || incomingCount_ >= kBatchRows
                                                      ? Clock::now()
                                                      : firstPending_ + kBatchAge);
            if (!stopping_ && (incomingCount_ == 0 && !retrying)) {
                batchDue_.wait_for(lock, kBatchAge);
                continue;
            }
            if (!stopping_ && Clock::now() < due) {
                batchDue_.wait_until(lock, due);
                continue;
            }
            const bool last = stopping_;
            if (incomingCount_ > 0) {
                if (batchCount_ == 0) {
                    std::swap(batch_, incoming_);
                } else {
                    batch_.append(incoming_);
                }
                batchBytes_ = batch_.bytes();
                batchCount_ += incomingCount_;
                incomingCount_ = 0;
            }
            lock.unlock();
            const bool stored = batchCount_ > 0 && store();
            lock.lock();
            if (stored) {
                if (batch_.rows.capacity() > kKeptCapacity || batch_.refused.capacity() > kKeptCapacity) {
                    batch_ = Batch{};  // what a long outage gathered goes back to the system
                } else {
                    batch_.clear();
                }
                batchBytes_ = 0;
                batchCount_ = 0;
                roomMade_.notify_one();
            } else if (batchCount_ > 0) {
                nextStore_ = Clock::now() + kRetry;
            }
            if (last) return;
        }
    }

    // Stores the batch and publishes the acknowledgements; false when the
    // database failed.
    bool store() {
        const std::size_t checkRefused = batch_.refused.size();
        try {
            open();
            storeRows(0, batch_.arrived.size(), 0);
            // Before the refused rows, which must not be stored twice: the
            // notes may be.
            noteStations();
            store_->refuse(batch_.refused);
        } catch (const StoreError& failed) {
            // The rows the server refused are found again next time.
            batch_.refused.resize(checkRefused);
            databaseFailed(failed);
            return false;
        }
        stored_ += store_->stored() - storedBefore_;
        storedBefore_ = store_->stored();
        acknowledge();
        return true;
    }

    void open() {
        if (store_) return;
        store_ = std::make_unique<PackageStore>(options_.conninfo);
        storedBefore_ = 0;
        if (databaseDown_) std::cerr << "zelvar-collect: the database is back\n";
        databaseDown_ = false;
    }

    // Said once until the database works again: a lost database, a role
    // without its rights, a wrong password are tried again every second.
    void databaseFailed(const StoreError& failed) {
        if (!databaseDown_) {
            std::cerr << "zelvar-collect: database: " << failed.what() << "; holding " << batchCount_
                      << " packages, trying again\n";
        }
        databaseDown_ = true;
        store_.reset();
    }

    // Stores the rows of arrived[begin, end), which start at `from` in the
    // batch's rows. Should the server refuse them for their values, each
    // half goes alone, down to the refused rows, which go to `refused`.
    void storeRows(std::size_t begin, std::size_t end, std::size_t from) {
        const std::size_t to = end > begin ? batch_.arrived[end - 1].rowEnd : from;
        if (to == from) return;
        try {
            store_->add(std::string_view(batch_.rows).substr(from, to - from));
            store_->flush();
        } catch (const StoreError& failed) {
            if (!failed.refusedData()) throw;
            store_->discard();
            if (end - begin == 1) {
                const PackageMessage& package = batch_.arrived[begin].package;
                const std::string reason = std::string("the database refused it: ") + failed.what();
                ++rejected_;
                logRefusal(package.station, reason);
                // Its row rather than its message, which is not kept.
                appendRefused(batch_.refused, package.station,
                              StationTopic(options_.prefix, package.station, "packages"), reason,
                              std::string_view(batch_.rows).substr(from, to - from));
                batch_.arrived[begin].floor = 0;
                batch_.arrived[begin].stored = false;
                return;
            }
            const std::size_t middle = begin + (end - begin) / 2;
            storeRows(begin, middle, from);
            storeRows(middle, end, batch_.arrived[middle - 1].rowEnd);
        }
    }

    // The stations' status messages of the batch and the times of their
    // packages stored; a note the server refuses is logged.
    void noteStations() {
        StationNotes notes = batch_.stations;
        const std::int64_t now = nowMs();
        for (const Arrived& arrived : batch_.arrived) {
            if (!arrived.stored) continue;
            StationNote& note = notes[arrived.package.station];
            note.heardMs = std::max(note.heardMs, now);
            if (arrived.package.time) {
                note.packageMs = std::max(note.packageMs.value_or(arrived.package.timeMs), arrived.package.timeMs);
            }
        }
        StoreStationNotes(*store_, notes, [this](const std::string& station, const std::string& why) {
            logRefusal(station, why);
        });
    }

    void acknowledge() {
        std::map<std::pair<std::string, std::string>, RunProgress*> touched;
        for (const Arrived& arrived : batch_.arrived) {
            auto key = std::make_pair(arrived.package.station, arrived.package.source);
            RunProgress& run = runs_[key];
            if (arrived.floor > 0 && arrived.floor - 1 > run.mark) run.mark = arrived.floor - 1;
            if (arrived.package.seq > run.mark) run.above.insert(arrived.package.seq);
            touched.emplace(std::move(key), &run);
        }
        std::vector<std::pair<std::string, std::string>> acks;
        for (const auto& [key, run] : touched) {
            while (!run->above.empty() && *run->above.begin() <= run->mark + 1) {
                if (*run->above.begin() == run->mark + 1) ++run->mark;
                run->above.erase(run->above.begin());
            }
            if (run->mark == 0) continue;
            // Also when nothing moved: a station that sent again after a lost
            // acknowledgement needs to hear it again.
            acks.emplace_back(key.first, AckMessage({key.second, run->mark}));
        }
        std::lock_guard lock(mutex_);
        std::move(acks.begin(), acks.end(), std::back_inserter(acks_));
    }

    const ServiceOptions& options_;
    mosquitto* mosq_ = nullptr;
    std::string subscription_;
    std::string statusSubscription_;
    std::atomic<bool> connected_{false};

    // The reader's own.
    bool brokerDown_ = false;
    std::string refusal_;  // the broker's reason for refusing the last connection
    Clock::time_point nextConnect_{};
    std::string row_;
    std::string refused_;
    std::set<std::int64_t> days_;  // days since 1970 of the packages taken
    std::map<std::string, std::deque<Clock::time_point>, std::less<>> newDays_;  // when each station opened them
    std::set<std::string, std::less<>> offline_;     // stations whose status says so
    std::set<std::string, std::less<>> clearAcks_;  // stations with no confirmation retained
    StationHosts hosts_;
    std::atomic<std::uint64_t> received_{0};
    std::atomic<std::uint64_t> rejected_{0};

    std::mutex logMutex_;
    std::set<std::pair<std::string, std::string>> loggedRefusals_;  // station and reason

    // Shared, under the mutex.
    std::mutex mutex_;
    std::condition_variable batchDue_;  // wakes the committer
    std::condition_variable roomMade_;  // wakes the reader
    bool stopping_ = false;
    std::vector<std::pair<std::string, std::string>> acks_;  // station and message, to send
    Batch incoming_;
    std::uint64_t incomingCount_ = 0;
    Clock::time_point firstPending_{};
    std::uint64_t batchBytes_ = 0;  // of batch_, which the committer holds
    std::uint64_t batchCount_ = 0;

    // The committer's own.
    Batch batch_;
    bool databaseDown_ = false;
    Clock::time_point nextStore_{};
    std::unique_ptr<PackageStore> store_;
    std::uint64_t storedBefore_ = 0;
    std::atomic<std::uint64_t> stored_{0};
    std::map<std::pair<std::string, std::string>, RunProgress> runs_;
};

}  // namespace

ServiceCounts RunCollectService(const ServiceOptions& options, const std::atomic<bool>& stop) {
    Service service(options);
    return service.run(stop);
}

}  // namespace zelvar
