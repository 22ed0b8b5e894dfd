#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace zelvar {

class WebDatabase;

// New calls as they are stored, for every live page at once: one thread
// LISTENs to the collector's notifications on a connection of its own (never
// inside a transaction), queries once per wake-up over the shared ones, and
// keeps the last events for the streams to send. The database's load does
// not grow with the number of pages. A lost connection is made again every
// second, and the calls stored meanwhile follow, or, past 20,000 of them, a
// reset to the newest.
class WebLive {
public:
    explicit WebLive(WebDatabase& database);
    ~WebLive();
    WebLive(const WebLive&) = delete;
    WebLive& operator=(const WebLive&) = delete;

    // The number of the next event.
    std::uint64_t next() const;
    // Event `number` as a Server-Sent Event, waiting for it up to `waitMs`,
    // and `number` moved on: nothing when it did not come (or the server
    // stops); a "reset" event when the stream fell so far behind that the
    // event is gone (the page reloads the calls).
    std::optional<std::string> event(std::uint64_t& number, int waitMs);
    bool stopping() const { return stopping_; }
    // Ends the thread and wakes every stream.
    void stop();

private:
    void run();
    // Keeps `event` for the streams and wakes them.
    void push(std::string event);
    // Listens until the connection fails or stop().
    void listen();

    WebDatabase& database_;
    std::string keys_ = "[]";  // each station's last call pushed
    std::string since_;        // calls of stations not yet pushed from this time on
    mutable std::mutex mutex_;
    std::condition_variable added_;
    std::deque<std::string> events_;
    std::uint64_t first_ = 0;  // the number of events_.front()
    std::atomic<bool> stopping_ = false;
    std::thread thread_;
};

}  // namespace zelvar
