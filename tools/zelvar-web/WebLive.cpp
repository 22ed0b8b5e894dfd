#include "WebLive.h"

#include <libpq-fe.h>
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <iostream>
#include <memory>

#include "WebDatabase.h"

namespace zelvar {

namespace {

// Events kept for streams that are behind; one that falls further reloads.
constexpr std::size_t kEventsKept = 256;
// Notifications read at most into one query.
constexpr int kNotificationsPerQuery = 100;
// Calls queried at most at once: more than the collector stores in one
// batch of a busy network (2,000 calls a second in batches of 0.3 s), so
// that each notification costs one query.
constexpr int kCallsPerQuery = 2000;
// Queries at most for one wake-up.
constexpr int kQueriesPerWakeUp = 10;
// Tells a page to load the newest calls again.
constexpr const char* kReset = "event: reset\ndata: {}\n\n";

}  // namespace

WebLive::WebLive(WebDatabase& database) : database_(database) {
    // A station first heard of goes on from calls stamped up to an hour
    // before the start (its clock may be behind), not from its whole past.
    const auto now = std::chrono::system_clock::now() - std::chrono::hours(1);
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S+00", &utc);
    since_ = text;
    thread_ = std::thread([this] { run(); });
}

WebLive::~WebLive() { stop(); }

void WebLive::stop() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    added_.notify_all();
    if (thread_.joinable()) thread_.join();
}

std::uint64_t WebLive::next() const {
    const std::lock_guard lock(mutex_);
    return first_ + events_.size();
}

std::optional<std::string> WebLive::event(std::uint64_t& number, int waitMs) {
    std::unique_lock lock(mutex_);
    added_.wait_for(lock, std::chrono::milliseconds(waitMs),
                    [&] { return stopping_ || number < first_ + events_.size(); });
    if (stopping_ || number >= first_ + events_.size()) return std::nullopt;
    if (number < first_) {
        number = first_ + events_.size();
        return std::string(kReset);
    }
    return events_[number++ - first_];
}

void WebLive::push(std::string event) {
    {
        const std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
        if (events_.size() > kEventsKept) {
            events_.pop_front();
            ++first_;
        }
    }
    added_.notify_all();
}

void WebLive::run() {
    while (!stopping_) {
        listen();
        for (int i = 0; i < 10 && !stopping_; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

void WebLive::listen() {
    std::unique_ptr<pg_conn, decltype(&PQfinish)> conn(nullptr, &PQfinish);
    try {
        conn.reset(database_.connect());
    } catch (const DatabaseError& e) {
        std::cerr << "zelvar-web: live: " << e.what() << std::endl;
        return;
    }
    std::unique_ptr<PGresult, decltype(&PQclear)> listening(PQexec(conn.get(), "LISTEN zelvar_packages"), &PQclear);
    if (PQresultStatus(listening.get()) != PGRES_COMMAND_OK) return;
    // Calls of the stations known stored while the connection was down come
    // with the first query.
    bool woken = true;
    while (!stopping_) {
        if (PQconsumeInput(conn.get()) != 1) return;
        std::string notifications = woken ? "[{\"more\" : true}" : "[";
        int count = 0;
        while (PGnotify* n = PQnotifies(conn.get())) {
            if (count < kNotificationsPerQuery) notifications.append(notifications.size() > 1 ? "," : "").append(n->extra);
            ++count;
            PQfreemem(n);
        }
        notifications += "]";
        if (count > 0 || woken) {
            try {
                // Past a query's bound: what remains comes at once, not with the next batch.
                bool behind = true;
                for (int round = 0; round < kQueriesPerWakeUp && behind; ++round) {
                    WebDatabase::Newer newer = database_.newer(keys_, notifications, since_, kCallsPerQuery);
                    keys_ = std::move(newer.keys);
                    if (newer.count > 0) push("event: rows\ndata: {\"rows\" : " + newer.rows + "}\n\n");
                    behind = newer.count == kCallsPerQuery;
                }
                if (behind) {
                    // More was stored meanwhile than pages show (this process
                    // or its database was stopped a while): walking through
                    // it would leave the streams behind for good, so they
                    // skip to the newest calls and the pages load those.
                    keys_ = database_.newest(keys_, notifications, since_);
                    push(kReset);
                }
                woken = false;
            } catch (const DatabaseError& e) {
                // A payload that is no JSON (anyone may notify) or a query
                // that failed: the next round looks at every station known.
                woken = true;
                std::cerr << "zelvar-web: live: " << e.what() << std::endl;
            }
        }
        pollfd socket{PQsocket(conn.get()), POLLIN, 0};
        if (::poll(&socket, 1, 200) < 0 && errno != EINTR) return;
    }
}

}  // namespace zelvar
