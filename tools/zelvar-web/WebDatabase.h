#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "WebRequest.h"

struct pg_conn;

namespace zelvar {

// The database failed or is out of reach: the client gets a 503.
class DatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The database found a value of the request invalid (a time zone it does
// not know): the client gets a 400 with the message.
class InvalidValue : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A few connections to the collector's tables, shared by the request
// threads: a request takes one while its query runs. Each session is
// read-only, in UTC, and stops any query after a few seconds; values reach
// the server only as parameters. Every answer is JSON the server made.
class WebDatabase {
public:
    // Connects once to check the role: one that owns `packages` (or is a
    // superuser) is refused unless `allowOwner`. Throws DatabaseError.
    WebDatabase(std::string conninfo, std::size_t connections, bool allowOwner);
    ~WebDatabase();
    WebDatabase(const WebDatabase&) = delete;
    WebDatabase& operator=(const WebDatabase&) = delete;

    // The table `stations`, as a JSON array of objects, by name.
    std::string stations();
    // {"rows":[...]}: the calls asked for, newest first.
    std::string heard(const HeardQuery& query);

    // The calls stored since `keys` (a JSON array of each station's last
    // call pushed: station, time, source, seq; stations without one from
    // `since` on) of the stations the collector's notifications name (a JSON
    // array of their payloads), oldest first, at most `limit`.
    struct Newer {
        std::string rows;  // a JSON array, newest first, on one line
        std::string keys;  // `keys` moved past those rows
        int count = 0;
    };
    Newer newer(const std::string& keys, const std::string& notifications, const std::string& since, int limit);
    // `keys` with those of the same stations moved to their newest call.
    std::string newest(const std::string& keys, const std::string& notifications, const std::string& since);
    // A connection of its own, as those of the requests (the caller PQfinish-es it).
    pg_conn* connect() const;

    // The first row's values of a query that gives one row. An invalid value
    // the database finds throws InvalidValue(`invalid`).
    std::vector<std::string> queryRow(const char* sql, int count, const char* const* values,
                                      const char* invalid = "a value out of range");

private:
    struct Lease;
    pg_conn* take();
    void give(pg_conn* conn);

    std::string conninfo_;
    std::mutex mutex_;
    std::condition_variable freed_;
    std::vector<pg_conn*> idle_;
    std::size_t open_ = 0;  // connections made, idle or in use
    std::size_t max_;
};

}  // namespace zelvar
