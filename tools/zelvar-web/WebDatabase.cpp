#include "WebDatabase.h"

#include <libpq-fe.h>

#include <string_view>

namespace zelvar {

namespace {

std::string FirstLine(const char* text) {
    const std::string_view all = text != nullptr ? text : "";
    return std::string(all.substr(0, all.find('\n')));
}

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

pg_conn* Connect(const std::string& conninfo) {
    pg_conn* conn = PQconnectdb(conninfo.c_str());
    if (conn == nullptr) throw DatabaseError("out of memory");
    if (PQstatus(conn) != CONNECTION_OK) {
        const std::string message = "cannot connect to the database: " + FirstLine(PQerrorMessage(conn));
        PQfinish(conn);
        throw DatabaseError(message);
    }
    PQsetNoticeProcessor(conn, [](void*, const char*) {}, nullptr);
    const Result set(PQexec(conn, "SET default_transaction_read_only = on; SET statement_timeout = '5s'; "
                                  "SET TimeZone = 'UTC'; SET client_encoding = 'UTF8'"),
                     &PQclear);
    if (PQresultStatus(set.get()) != PGRES_COMMAND_OK) {
        const std::string message = "database: " + FirstLine(PQerrorMessage(conn));
        PQfinish(conn);
        throw DatabaseError(message);
    }
    return conn;
}

// Calls decoded from a line, with a time, filtered and paged by the keyset
// (time, station, source, seq), which is the table's unique key.
constexpr const char* kHeardSql = R"(
SELECT json_build_object('rows', coalesce(json_agg(r ORDER BY r.time DESC, r.station DESC, r.source DESC, r.seq DESC), '[]'))::text
FROM (SELECT time, station, source, seq, port, call, "group", id, clr, enc, ptt, dbm, dbm_value, dbm_max
      FROM packages
      WHERE call IS NOT NULL AND time IS NOT NULL
        AND ($1::timestamptz IS NULL OR (time, station, source, seq) < ($1::timestamptz, $2::text, $3::text, $4::bigint))
        AND ($5::text IS NULL OR station = $5::text)
        AND ($6::text IS NULL OR "group" = $6::text)
        AND ($7::integer IS NULL OR id = $7::integer)
      ORDER BY time DESC, station DESC, source DESC, seq DESC
      LIMIT $8::integer) r)";

constexpr const char* kStationsSql = R"(
SELECT coalesce(json_agg(json_build_object(
    'station', station, 'last_seen', last_seen, 'state', state, 'instance', instance, 'hosts', hosts,
    'gps', gps, 'transceivers', transceivers, 'queued', queued, 'dropped', dropped,
    'last_package', last_package, 'lag', extract(epoch FROM lag)) ORDER BY station), '[]')::text
FROM (SELECT * FROM stations ORDER BY station LIMIT 10000) s)";

// Each station named goes on from its own last call pushed: stations'
// clocks differ, so one time for all would skip the calls of a station whose
// clock is behind. With "more", the stations not named are looked at too.
constexpr std::string_view kLiveStations = R"(
WITH k AS (SELECT * FROM json_to_recordset($1::json) AS k(station text, time timestamptz, source text, seq bigint)),
s AS (SELECT DISTINCT station FROM (
        SELECT json_array_elements_text(n -> 'stations') AS station FROM json_array_elements($2::json) n
        UNION ALL SELECT station FROM k
        WHERE EXISTS (SELECT FROM json_array_elements($2::json) n WHERE (n ->> 'more')::boolean)) a
      WHERE station IS NOT NULL LIMIT 10000))";

const std::string kNewerSql = std::string(kLiveStations) + R"(,
r AS (SELECT p.* FROM s LEFT JOIN k USING (station)
      CROSS JOIN LATERAL (
        SELECT time, station, source, seq, port, call, "group", id, clr, enc, ptt, dbm, dbm_value, dbm_max
        FROM packages p
        WHERE p.station = s.station AND p.call IS NOT NULL AND p.time >= $3::timestamptz
          AND (k.time IS NULL OR (p.time, p.source, p.seq) > (k.time, k.source, k.seq))
        ORDER BY p.time, p.source, p.seq LIMIT $4::integer) p
      ORDER BY time, station, source, seq LIMIT $4::integer),
last AS (SELECT DISTINCT ON (station) station, time, source, seq FROM r
         ORDER BY station, time DESC, source DESC, seq DESC)
SELECT (SELECT coalesce(json_agg(r ORDER BY time DESC, station DESC, source DESC, seq DESC), '[]') FROM r)::text,
       (SELECT coalesce(json_agg(m), '[]') FROM (SELECT * FROM k WHERE station NOT IN (SELECT station FROM last)
                                                  UNION ALL SELECT * FROM last) m)::text,
       (SELECT count(*) FROM r))";

// The same stations' keys moved to their newest call.
const std::string kNewestSql = std::string(kLiveStations) + R"(,
n AS (SELECT s.station, p.time, p.source, p.seq FROM s CROSS JOIN LATERAL (
        SELECT time, source, seq FROM packages p
        WHERE p.station = s.station AND p.call IS NOT NULL AND p.time >= $3::timestamptz
        ORDER BY p.time DESC, p.source DESC, p.seq DESC LIMIT 1) p)
SELECT coalesce(json_agg(m), '[]')::text FROM (SELECT * FROM k WHERE station NOT IN (SELECT station FROM n)
                                                UNION ALL SELECT * FROM n) m)";

}  // namespace

struct WebDatabase::Lease {
    WebDatabase& db;
    pg_conn* conn;
    ~Lease() { db.give(conn); }
};

WebDatabase::WebDatabase(std::string conninfo, std::size_t connections, bool allowOwner)
    : conninfo_(std::move(conninfo)), max_(connections) {
    pg_conn* conn = Connect(conninfo_);
    const Lease lease{*this, conn};
    ++open_;
    const Result r(PQexec(conn, "SELECT pg_has_role(current_user, c.relowner, 'MEMBER') OR r.rolsuper "
                                "FROM pg_class c, pg_roles r "
                                "WHERE c.oid = to_regclass('packages') AND r.rolname = current_user"),
                   &PQclear);
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK) throw DatabaseError("database: " + FirstLine(PQerrorMessage(conn)));
    if (PQntuples(r.get()) != 1) throw DatabaseError("database: no table packages: run zelvar-collect --init first");
    if (!allowOwner && std::string_view(PQgetvalue(r.get(), 0, 0)) == "t") {
        throw DatabaseError("the database role owns the tables (or is a superuser): connect as a role that may only "
                            "read them, or give --allow-owner");
    }
}

WebDatabase::~WebDatabase() {
    for (pg_conn* conn : idle_) PQfinish(conn);
}

pg_conn* WebDatabase::take() {
    std::unique_lock lock(mutex_);
    freed_.wait(lock, [this] { return !idle_.empty() || open_ < max_; });
    if (!idle_.empty()) {
        pg_conn* conn = idle_.back();
        idle_.pop_back();
        return conn;
    }
    ++open_;
    lock.unlock();
    try {
        return Connect(conninfo_);
    } catch (...) {
        give(nullptr);
        throw;
    }
}

void WebDatabase::give(pg_conn* conn) {
    {
        const std::lock_guard lock(mutex_);
        // A broken connection is dropped: the next request makes a new one.
        if (conn != nullptr && PQstatus(conn) == CONNECTION_OK) {
            idle_.push_back(conn);
        } else {
            if (conn != nullptr) PQfinish(conn);
            --open_;
        }
    }
    freed_.notify_one();
}

std::vector<std::string> WebDatabase::queryRow(const char* sql, int count, const char* const* values,
                                              const char* invalid) {
    // A connection the server ended while it was idle (a restart, an
    // administrator) fails its next query and is dropped: the query goes
    // again, on the next one kept or a new one.
    for (std::size_t attempt = 0;; ++attempt) {
        const Lease lease{*this, take()};
        const Result r(PQexecParams(lease.conn, sql, count, nullptr, values, nullptr, nullptr, 0), &PQclear);
        if (PQresultStatus(r.get()) == PGRES_TUPLES_OK && PQntuples(r.get()) == 1) {
            std::vector<std::string> row;
            for (int i = 0; i < PQnfields(r.get()); ++i) row.emplace_back(PQgetvalue(r.get(), 0, i));
            return row;
        }
        const char* state = PQresultErrorField(r.get(), PG_DIAG_SQLSTATE);
        if (state != nullptr && std::string_view(state) == "22023") throw InvalidValue(invalid);
        if (PQstatus(lease.conn) == CONNECTION_OK || attempt == max_) {
            throw DatabaseError("database: " + FirstLine(PQresultErrorMessage(r.get())));
        }
    }
}

pg_conn* WebDatabase::connect() const { return Connect(conninfo_); }

std::string WebDatabase::stations() { return queryRow(kStationsSql, 0, nullptr).at(0); }

WebDatabase::Newer WebDatabase::newer(const std::string& keys, const std::string& notifications,
                                      const std::string& since, int limit) {
    const std::string limitText = std::to_string(limit);
    const char* values[] = {keys.c_str(), notifications.c_str(), since.c_str(), limitText.c_str()};
    std::vector<std::string> row = queryRow(kNewerSql.c_str(), 4, values);
    Newer newer{std::move(row.at(0)), std::move(row.at(1)), std::stoi(row.at(2))};
    // An event's data is one line: JSON keeps its line breaks outside strings.
    for (char& c : newer.rows) {
        if (c == '\n') c = ' ';
    }
    return newer;
}

std::string WebDatabase::newest(const std::string& keys, const std::string& notifications,
                                const std::string& since) {
    const char* values[] = {keys.c_str(), notifications.c_str(), since.c_str()};
    return queryRow(kNewestSql.c_str(), 3, values).at(0);
}

std::string WebDatabase::heard(const HeardQuery& query) {
    const auto text = [](const std::optional<std::string>& value) { return value ? value->c_str() : nullptr; };
    const std::string seq = query.before ? std::to_string(query.before->seq) : "";
    const std::string id = query.id ? std::to_string(*query.id) : "";
    const std::string limit = std::to_string(query.limit);
    const char* values[] = {query.before ? query.before->time.c_str() : nullptr,
                            query.before ? query.before->station.c_str() : nullptr,
                            query.before ? query.before->source.c_str() : nullptr,
                            query.before ? seq.c_str() : nullptr,
                            text(query.station),
                            text(query.group),
                            query.id ? id.c_str() : nullptr,
                            limit.c_str()};
    return queryRow(kHeardSql, 8, values).at(0);
}

}  // namespace zelvar
