#include "Publisher.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <utility>

#include "PackageJson.h"

namespace zelvar {

namespace {

// Once per process: libmosquitto's own set-up (and OpenSSL's).
void initLibrary() {
    static const int done = [] {
        mosquitto_lib_init();
        return 0;
    }();
    (void)done;
}

constexpr std::size_t kHandOver = 2048;
constexpr std::chrono::milliseconds kStoreAge{100};
// The oldest runs that go again when confirmations stall.
constexpr std::size_t kStallRuns = 8;
// The status goes out again this soon when its counts changed, and at least
// this often, so that the collector hears of every station that is there.
constexpr std::chrono::seconds kStatusChanged{10};
constexpr std::chrono::seconds kStatusAlive{60};

void check(int rc, const char* what) {
    if (rc != MOSQ_ERR_SUCCESS) {
        std::string message(what);
        message.append(": ").append(mosquitto_strerror(rc));
        throw std::runtime_error(message);
    }
}

}  // namespace

Publisher::Publisher(PublishConfig config)
    : config_(std::move(config)),
      source_(RandomId()),
      packagesTopic_(StationTopic(config_.prefix, config_.station, "packages")),
      ackTopic_(StationTopic(config_.prefix, config_.station, "ack")),
      statusTopic_(StationTopic(config_.prefix, config_.station, "status")),
      refill_(std::max<std::size_t>(1, config_.window / 4)) {
    initLibrary();
    outbox_ = std::make_unique<Outbox>(config_.outboxPath, config_.outboxLimit);
    queued_ = outbox_->count();
    instance_ = outbox_->instance();
    sentStatus_.instance = instance_;
    const std::string offline = StatusMessage({false, instance_, {}, {}, {}});
    mosq_ = mosquitto_new(nullptr, true, this);
    if (mosq_ == nullptr) throw std::runtime_error("cannot make an MQTT client: out of memory");
    try {
        // MQTT 5 for the floor property of each package.
        check(mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5), "MQTT 5");
        // libmosquitto's own limit is 20 in flight; the window is the limit.
        check(mosquitto_int_option(mosq_, MOSQ_OPT_SEND_MAXIMUM,
                                   static_cast<int>(std::clamp<std::size_t>(config_.window, 1, 65535))),
              "send maximum");
        check(mosquitto_will_set(mosq_, statusTopic_.c_str(), static_cast<int>(offline.size()), offline.data(), 1,
                                 true),
              "last will");
        SetMqttLogin(mosq_, config_.login);
        mosquitto_reconnect_delay_set(mosq_, 1, 10, true);
        mosquitto_connect_v5_callback_set(mosq_, &Publisher::onConnect);
        mosquitto_disconnect_v5_callback_set(mosq_, &Publisher::onDisconnect);
        mosquitto_publish_v5_callback_set(mosq_, &Publisher::onPublish);
        mosquitto_message_v5_callback_set(mosq_, &Publisher::onMessage);
        // Refused at once only for a bad configuration; an unreachable broker
        // is tried again by libmosquitto's loop.
        const int rc = mosquitto_connect_async(mosq_, config_.host.c_str(), config_.port, 30);
        if (rc == MOSQ_ERR_INVAL) check(rc, "broker address");
        check(mosquitto_loop_start(mosq_), "MQTT thread");
    } catch (...) {
        mosquitto_destroy(mosq_);
        throw;
    }
    lastProgress_ = std::chrono::steady_clock::now();
    thread_ = std::thread(&Publisher::run, this);
}

Publisher::~Publisher() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    // A will goes out only when the connection breaks: a stop says it itself.
    const std::string offline = StatusMessage({false, instance_, {}, {}, {}});
    mosquitto_publish(mosq_, nullptr, statusTopic_.c_str(), static_cast<int>(offline.size()), offline.data(), 1,
                      true);
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, false);
    mosquitto_destroy(mosq_);
}

void Publisher::publish(const PackageFields& fields, std::string_view time) {
    const std::uint64_t seq = nextSeq();
    json_.clear();
    AppendPackageJson(json_, PackageRecord{config_.station, time, fields, source_, seq});
    publishJson(json_);
}

void Publisher::publishJson(std::string_view json) {
    bool full;
    {
        std::lock_guard lock(mutex_);
        if (incoming_.empty() || incoming_.back().count == kHandOver) {
            if (incoming_.empty()) incomingSince_ = std::chrono::steady_clock::now();
            OutboxEntry& run = incoming_.emplace_back();
            run.source = source_;
            run.firstSeq = seq_ - 1;
        }
        OutboxEntry& run = incoming_.back();
        run.body.append(json).push_back('\n');
        full = ++run.count == kHandOver;
        ++incomingCount_;
        incomingBytes_ += json.size() + 1;
        woken_ = woken_ || full;
        ++queued_;
        boundIncoming();
    }
    ++taken_;
    // The publisher thread takes them in runs, one transaction each: woken
    // for every package it would commit every package alone.
    if (full) wake_.notify_one();
}

void Publisher::boundIncoming() {
    // Whole runs, the oldest first, never the one being filled: what stays
    // follows on without a gap within each run.
    while (incomingBytes_ > config_.heldLimit && incoming_.size() > 1) {
        const OutboxEntry& oldest = incoming_.front();
        incomingBytes_ -= oldest.body.size();
        incomingCount_ -= oldest.count;
        queued_ -= oldest.count;
        droppedUnwritten_ += oldest.count;
        incoming_.erase(incoming_.begin());
    }
}

void Publisher::setStationState(const StationState& state) {
    {
        std::lock_guard lock(mutex_);
        if (state.gps == state_.gps && state.transceivers == state_.transceivers) return;
        state_ = state;
        stateChanged_ = true;
        woken_ = true;
    }
    wake_.notify_one();
}

PublishStatus Publisher::status() const {
    std::lock_guard lock(mutex_);
    return {connected_,       queued_,           droppedForRoom_ + droppedUnwritten_,
            droppedForRoom_,  droppedUnwritten_, lastOutboxFailure_,
            !outboxFailure_.empty(), ignoredAcks_};
}

std::string DroppedReason(const PublishStatus& status, std::uint64_t outboxLimit) {
    std::string reason;
    if (status.droppedForRoom > 0) {
        reason = std::to_string(status.droppedForRoom) + " dropped for room: the outbox reached its size, " +
                 std::to_string(outboxLimit / 1'000'000) + " MB";
    }
    if (status.droppedUnwritten > 0) {
        if (!reason.empty()) reason += '\n';
        reason += std::to_string(status.droppedUnwritten) +
                  " dropped while the outbox could not be written: " + status.outboxFailure;
    }
    if (status.outboxFailing) {
        if (!reason.empty()) reason += '\n';
        reason += "The outbox cannot be written now; packages wait in memory: " + status.outboxFailure;
    }
    return reason;
}

std::string Publisher::outboxFailure() const {
    std::lock_guard lock(mutex_);
    return outboxFailure_;
}

void Publisher::run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        // Packages handed over wait at most kStoreAge for the outbox; a full
        // run of them, an acknowledgement, room in the window or a broker
        // event wakes it at once.
        const auto due = incomingCount_ > 0 ? incomingSince_ + kStoreAge
                                            : std::chrono::steady_clock::now() + kStoreAge;
        wake_.wait_until(lock, due, [this] { return woken_ || stopping_; });
        woken_ = false;
        try {
            // A run per wake-up would be a transaction for every package
            // the broker acknowledges.
            if (incomingCount_ >= kHandOver || std::chrono::steady_clock::now() >= incomingSince_ + kStoreAge) {
                storeTaken(lock);
            }
            applyAcks(lock);
            const auto since = std::chrono::steady_clock::now() - statusSent_;
            if (since >= kStatusAlive ||
                (since >= kStatusChanged && (sentStatus_.queued != queued_ ||
                                             sentStatus_.dropped != droppedForRoom_ + droppedUnwritten_))) {
                stateChanged_ = true;
            }
            if (stateChanged_ && connected_) {
                stateChanged_ = false;
                lock.unlock();
                sendState();
                lock.lock();
            }
            feed(lock);
            outboxFailure_.clear();
        } catch (const OutboxError& failed) {
            // A full or failing disk: the packages stay in memory, up to the
            // limit, and are tried again on the next round.
            outboxFailure_ = failed.what();
            lastOutboxFailure_ = outboxFailure_;
        }
    }
    // What was handed over and not yet stored goes into the outbox for the next run.
    try {
        storeTaken(lock);
    } catch (const OutboxError&) {
    }
}

void Publisher::storeTaken(std::unique_lock<std::mutex>& lock) {
    if (incoming_.empty()) return;
    std::vector<OutboxEntry> taken;
    taken.swap(incoming_);
    const std::uint64_t takenCount = std::exchange(incomingCount_, 0);
    const std::uint64_t takenBytes = std::exchange(incomingBytes_, 0);
    lock.unlock();
    try {
        outbox_->append(taken);
    } catch (...) {
        // Kept for the next round, before what came meanwhile.
        lock.lock();
        std::move(incoming_.begin(), incoming_.end(), std::back_inserter(taken));
        incoming_.swap(taken);
        incomingCount_ += takenCount;
        incomingBytes_ += takenBytes;
        // Tried again after a while, not at once over and over.
        incomingSince_ = std::chrono::steady_clock::now();
        boundIncoming();
        throw;
    }
    lock.lock();
    if (outbox_->dropped() != droppedForRoom_) {
        droppedForRoom_ = outbox_->dropped();
        floors_.clear();
    }
    queued_ = outbox_->count() + incomingCount_;
}

void Publisher::applyAcks(std::unique_lock<std::mutex>& lock) {
    if (acks_.empty()) return;
    std::vector<Acknowledgement> acks;
    acks.swap(acks_);
    lock.unlock();
    std::uint64_t removed = 0;
    bool advanced = false;
    std::uint64_t ignored = 0;
    for (const Acknowledgement& ack : acks) {
        // Anyone on the broker may say anything on the ack topic: a
        // confirmation of packages this station never published is no
        // collector's, and must not free what is held.
        std::uint64_t published = seq_.load() - 1;
        if (ack.source != source_) {
            // An earlier run's last packages are the last to go. Of a run it
            // holds nothing of (a retained confirmation of the last run, say)
            // there is nothing to free.
            const std::optional<HeldSeqs> held = outbox_->held(ack.source);
            if (!held) continue;
            published = held->highest;
        }
        if (ack.seq > published) {
            // Told a few times, not for every message of a flood.
            if (++ignored + ignoredAcks_ <= 10) {
                std::cerr << "zelvar: ignored a confirmation of run " << ack.source << " up to " << ack.seq
                          << ", beyond the " << published << " packages it published\n";
            }
            continue;
        }
        removed += outbox_->acknowledge(ack.source, ack.seq);
        // Progress is a confirmation that reaches further: a collector that
        // repeats the same one is missing a package, and gets it again.
        std::uint64_t& confirmed = confirmed_[ack.source];
        advanced = advanced || ack.seq > confirmed;
        confirmed = std::max(confirmed, ack.seq);
    }
    lock.lock();
    ignoredAcks_ += ignored;
    if (advanced) lastProgress_ = std::chrono::steady_clock::now();
    if (removed > 0) floors_.clear();
    queued_ = outbox_->count() + incomingCount_;
}

std::uint64_t Publisher::floorOf(const std::string& source) {
    const auto known = floors_.find(source);
    if (known != floors_.end()) return known->second;
    const std::optional<HeldSeqs> held = outbox_->held(source);
    const std::uint64_t floor = held ? held->lowest : 0;
    floors_.emplace(source, floor);
    return floor;
}

void Publisher::feed(std::unique_lock<std::mutex>& lock) {
    if (!connected_) return;
    const auto now = std::chrono::steady_clock::now();
    if (reconnected_) {
        // Everything again: the broker may have lost what it held. What
        // libmosquitto held for the old connection it sends again itself;
        // the window counts only what goes out from here on.
        reconnected_ = false;
        inFlight_.clear();
        earlyAcked_.clear();
        cursor_ = 0;
        feeding_ = OutboxEntry{};
        fedBytes_ = 0;
        fedCount_ = 0;
        lastProgress_ = now;
    }
    std::vector<int> sent;
    if (outbox_->count() > 0 && now - lastProgress_ >= config_.stallResend) {
        // No confirmation reaches further: a collector lost packages that the
        // broker counted as delivered, and they are among the oldest held.
        // Only those go again, so that a collector merely behind is not
        // buried under repeats.
        lastProgress_ = now;
        lock.unlock();
        for (const OutboxEntry& run : outbox_->after(0, kStallRuns)) {
            std::size_t at = 0;
            for (std::uint64_t i = 0; i < run.count; ++i) {
                std::size_t end = run.body.find('\n', at);
                if (end == std::string::npos) end = run.body.size();
                int mid = 0;
                if (!send(run.source, std::string_view(run.body).substr(at, end - at), mid)) break;
                sent.push_back(mid);
                at = end + 1;
            }
        }
        lock.lock();
    }
    const std::size_t inFlight = inFlight_.size() + sent.size();
    std::size_t room = inFlight >= config_.window ? 0 : config_.window - inFlight;
    lock.unlock();
    sent.reserve(sent.size() + room);
    bool broken = false;
    while (room > 0 && !broken) {
        if (fedCount_ == feeding_.count) {
            // The next run of the outbox, which may have gone meanwhile.
            std::vector<OutboxEntry> next = outbox_->after(cursor_, 1);
            if (next.empty()) break;
            feeding_ = std::move(next.front());
            fedBytes_ = 0;
            fedCount_ = 0;
        }
        std::size_t end = feeding_.body.find('\n', fedBytes_);
        if (end == std::string::npos) end = feeding_.body.size();
        int mid = 0;
        if (!send(feeding_.source, std::string_view(feeding_.body).substr(fedBytes_, end - fedBytes_), mid)) {
            broken = true;  // the connection went: all again after the reconnect
            break;
        }
        sent.push_back(mid);
        --room;
        fedBytes_ = end + 1;
        if (++fedCount_ == feeding_.count) cursor_ = feeding_.id;
    }
    lock.lock();
    for (const int mid : sent) {
        // The broker may have acknowledged it before it was noted here.
        if (earlyAcked_.erase(mid) == 0) inFlight_.insert(mid);
    }
    // Acknowledgements that came while sending woke no one.
    if (room == 0 && !broken && inFlight_.size() + refill_ <= config_.window) woken_ = true;
}

bool Publisher::send(const std::string& source, std::string_view body, int& mid) {
    mosquitto_property* properties = nullptr;
    const std::string floor = std::to_string(floorOf(source));
    mosquitto_property_add_string_pair(&properties, MQTT_PROP_USER_PROPERTY, kFloorProperty, floor.c_str());
    const int rc = mosquitto_publish_v5(mosq_, &mid, packagesTopic_.c_str(), static_cast<int>(body.size()),
                                        body.data(), 1, false, properties);
    mosquitto_property_free_all(&properties);
    return rc == MOSQ_ERR_SUCCESS;
}

void Publisher::sendState() {
    StationStatus status;
    {
        std::lock_guard lock(mutex_);
        status = {true, instance_, state_, queued_, droppedForRoom_ + droppedUnwritten_};
        sentStatus_ = status;
        statusSent_ = std::chrono::steady_clock::now();
    }
    const std::string message = StatusMessage(status);
    mosquitto_publish(mosq_, nullptr, statusTopic_.c_str(), static_cast<int>(message.size()),
                      message.data(), 1, true);
}

void Publisher::onConnect(mosquitto* mosq, void* self, int rc, int, const mosquitto_property*) {
    auto* publisher = static_cast<Publisher*>(self);
    if (rc != 0) return;
    mosquitto_subscribe(mosq, nullptr, publisher->ackTopic_.c_str(), 1);
    {
        std::lock_guard lock(publisher->mutex_);
        publisher->connected_ = true;
        publisher->reconnected_ = true;
        publisher->stateChanged_ = true;
        publisher->woken_ = true;
    }
    publisher->wake_.notify_one();
}

void Publisher::onDisconnect(mosquitto*, void* self, int, const mosquitto_property*) {
    auto* publisher = static_cast<Publisher*>(self);
    std::lock_guard lock(publisher->mutex_);
    publisher->connected_ = false;
}

void Publisher::onPublish(mosquitto*, void* self, int mid, int, const mosquitto_property*) {
    auto* publisher = static_cast<Publisher*>(self);
    bool wake;
    {
        std::lock_guard lock(publisher->mutex_);
        if (publisher->inFlight_.erase(mid) == 0) publisher->earlyAcked_.insert(mid);
        // The window is refilled a share at a time rather than a message per
        // acknowledgement.
        wake = publisher->inFlight_.size() + publisher->refill_ <= publisher->config_.window;
        publisher->woken_ = publisher->woken_ || wake;
    }
    if (wake) publisher->wake_.notify_one();
}

void Publisher::onMessage(mosquitto*, void* self, const mosquitto_message* message,
                          const mosquitto_property*) {
    auto* publisher = static_cast<Publisher*>(self);
    if (message->payloadlen <= 0) return;
    std::optional<Acknowledgement> ack = ParseAckMessage(
        std::string_view(static_cast<const char*>(message->payload),
                         static_cast<std::size_t>(message->payloadlen)));
    if (!ack) return;
    {
        std::lock_guard lock(publisher->mutex_);
        publisher->acks_.push_back(std::move(*ack));
        publisher->woken_ = true;
    }
    publisher->wake_.notify_one();
}

}  // namespace zelvar
