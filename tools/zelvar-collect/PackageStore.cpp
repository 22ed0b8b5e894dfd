#include "PackageStore.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cstring>

#include "PgConnection.h"
#include "Schema.h"

namespace zelvar {

namespace {

// Rows are handed to the server in pieces of about this size, and each
// batch is moved from the staging table into `packages` at this many rows:
// the collector's memory stays small whatever the log's size.
constexpr std::size_t kSendBytes = 256 * 1024;
constexpr std::uint64_t kBatchRows = 50'000;

// Sent in the batch's own transaction (statements of one query string are
// one), so that a listener hears of rows it can already read. The stations
// are named up to about 7,000 bytes of their JSON, the others only said to
// be there ("more": true): PostgreSQL refuses a payload of 8,000 bytes.
// A listener that stops reading (a stopped process) holds PostgreSQL's
// queue of notifications, and once it is full every commit that notifies
// fails, for a code that reads as refused values: from half full on, where
// PostgreSQL starts to warn, batches are stored without a notification.
constexpr const char* kNotifyBatch =
    "WITH s AS (SELECT station, sum(octet_length(to_json(station)::text) + 2) OVER (ORDER BY station) AS upto "
    "FROM (SELECT DISTINCT station FROM zelvar_staging) d) "
    "SELECT pg_notify('zelvar_packages', json_build_object("
    "'newest', (SELECT to_char(max(time) AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.US\"Z\"') "
    "FROM zelvar_staging), "
    "'stations', (SELECT coalesce(json_agg(station ORDER BY station), '[]') FROM s WHERE upto <= 7000), "
    "'more', EXISTS (SELECT FROM s WHERE upto > 7000))::text) "
    "WHERE pg_notification_queue_usage() < 0.5";


// The results of the lane's command up to its end; the first failure, with
// the server's primary message, is thrown after all were read.
void drainResults(pg_conn* conn, std::uint64_t* inserted) {
    std::string error;
    std::string_view state;
    bool first = true;
    while (PGresult* raw = PQgetResult(conn)) {
        const PgResult r(raw);
        const ExecStatusType status = PQresultStatus(raw);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && error.empty()) {
            const char* primary = PQresultErrorField(raw, PG_DIAG_MESSAGE_PRIMARY);
            const char* sqlState = PQresultErrorField(raw, PG_DIAG_SQLSTATE);
            error =
                primary != nullptr ? "ERROR:  " + OneLine(primary) : OneLine(PQerrorMessage(conn));
            // Classes 22 (data exception), 23 (integrity constraint) and 54
            // (program limit, such as an index row too long) refuse values.
            state = sqlState != nullptr && std::strlen(sqlState) == 5 ? std::string_view(sqlState, 2) : "";
            if (state != "22" && state != "23" && state != "54") state = "";
        } else if (first && inserted != nullptr && status == PGRES_COMMAND_OK) {
            *inserted += std::stoull(PQcmdTuples(raw));
        }
        first = false;
    }
    if (!error.empty()) throw StoreError(error, !state.empty() && PQstatus(conn) == CONNECTION_OK);
}

}  // namespace

const char* const PackageStore::RefusedColumns = "station, topic, reason, payload";

const char* const PackageStore::CopyColumns =
    "station, source, seq, time, port, stamp, type, call, \"group\", id, clr, enc, ptt, dbm, "
    "lat, lon, pdop, hex";

PackageStore::PackageStore(const std::string& conninfo, std::uint64_t refusedKept) : refusedKept_(refusedKept) {
    connect(lanes_[0], conninfo);
    CheckSchema(lanes_[0].conn.get());
    connect(lanes_[1], conninfo);
    // Spelled out rather than LIKE packages, which would need the right to read it.
    const std::string staging = std::string("CREATE TEMPORARY TABLE zelvar_staging (") + kPackageColumns + ")";
    for (Lane& lane : lanes_) PgExec(lane.conn.get(), staging.c_str());
    pending_.reserve(kSendBytes + 4096);
}

PackageStore::~PackageStore() = default;

void PackageStore::connect(Lane& lane, const std::string& conninfo) {
    lane.conn = PgConnect(conninfo);
    PgExec(lane.conn.get(), "SET client_encoding = 'UTF8'");
    // A batch in the staging table stays in this session's memory rather
    // than going to disk; it must be set before the session's first
    // temporary table.
    PgExec(lane.conn.get(), "SET temp_buffers = '48MB'");
}

void PackageStore::add(std::string_view row) {
    pending_.append(row);
    ++staged_;
    if (pending_.size() >= kSendBytes) sendCopy();
    if (staged_ >= kBatchRows) {
        // Into the table on this lane, in the background; the next batch
        // goes to the other lane as soon as that one is free.
        startInsert(lanes_[current_]);
        current_ = 1 - current_;
    }
}

void PackageStore::startInsert(Lane& lane) {
    endCopy(lane);
    // Each day's partition exists before the first row of that day is
    // written: a row of a day without one would land in the DEFAULT
    // partition and keep the day's partition from ever being made.
    makeDayPartitions(lane);
    std::string sql = "INSERT INTO packages (";
    sql.append(CopyColumns).append(") SELECT ").append(CopyColumns);
    sql.append(" FROM zelvar_staging ON CONFLICT DO NOTHING; ").append(kNotifyBatch).append("; TRUNCATE zelvar_staging");
    if (PQsendQuery(lane.conn.get(), sql.c_str()) != 1) PgFail(lane.conn.get());
    lane.inserting = true;
    lane.batch = staged_;
    staged_ = 0;
}

void PackageStore::startCopy(Lane& lane) {
    finishInsert(lane);
    std::string sql = "COPY zelvar_staging (";
    sql.append(CopyColumns).append(") FROM STDIN");
    const PgResult r(PQexec(lane.conn.get(), sql.c_str()));
    if (PQresultStatus(r.get()) != PGRES_COPY_IN) PgFail(lane.conn.get());
    lane.copying = true;
}

void PackageStore::sendCopy() {
    if (pending_.empty()) return;
    Lane& lane = lanes_[current_];
    if (!lane.copying) startCopy(lane);
    if (PQputCopyData(lane.conn.get(), pending_.data(), static_cast<int>(pending_.size())) != 1) {
        PgFail(lane.conn.get());
    }
    pending_.clear();
}

void PackageStore::endCopy(Lane& lane) {
    sendCopy();
    if (!lane.copying) return;
    lane.copying = false;
    if (PQputCopyEnd(lane.conn.get(), nullptr) != 1) PgFail(lane.conn.get());
    drainResults(lane.conn.get(), nullptr);
}

void PackageStore::finishInsert(Lane& lane) {
    if (!lane.inserting) return;
    lane.inserting = false;
    drainResults(lane.conn.get(), &stored_);
    settled_ += lane.batch;
}

void PackageStore::makeDayPartitions(Lane& lane) {
    const PgResult days = PgExec(lane.conn.get(),
                                 "SELECT DISTINCT to_char(time AT TIME ZONE 'UTC', 'YYYY-MM-DD BC') "
                                 "FROM zelvar_staging WHERE time IS NOT NULL");
    for (int i = 0; i < PQntuples(days.get()); ++i) {
        const char* day[] = {PQgetvalue(days.get(), i, 0)};
        if (knownDays_.count(day[0]) != 0) continue;
        const PgResult made(
            PQexecParams(lane.conn.get(), "SELECT zelvar_make_day($1::date)", 1, nullptr, day, nullptr, nullptr, 0));
        if (PQresultStatus(made.get()) != PGRES_TUPLES_OK) {
            // A day beyond the partitions' range refuses its rows; anything
            // else is the database's failure.
            const char* state = PQresultErrorField(made.get(), PG_DIAG_SQLSTATE);
            throw StoreError(OneLine(PQresultErrorMessage(made.get())),
                             state != nullptr && std::string_view(state).starts_with("22"));
        }
        knownDays_.insert(day[0]);
    }
}

void PackageStore::discard() {
    pending_.clear();
    staged_ = 0;
    for (Lane& lane : lanes_) {
        if (lane.copying) {
            lane.copying = false;
            PQputCopyEnd(lane.conn.get(), "discarded");
            try {
                drainResults(lane.conn.get(), nullptr);
            } catch (const StoreError&) {
                // The refusal that was asked for.
            }
        }
        try {
            finishInsert(lane);
        } catch (const StoreError& failed) {
            if (!failed.refusedData()) throw;
        }
        PgExec(lane.conn.get(), "TRUNCATE zelvar_staging");
    }
}

void PackageStore::copyRefused(Lane& lane, std::string_view rows) {
    std::string sql = "COPY refused (";
    sql.append(RefusedColumns).append(") FROM STDIN");
    const PgResult r(PQexec(lane.conn.get(), sql.c_str()));
    if (PQresultStatus(r.get()) != PGRES_COPY_IN) PgFail(lane.conn.get());
    if (PQputCopyData(lane.conn.get(), rows.data(), static_cast<int>(rows.size())) != 1 ||
        PQputCopyEnd(lane.conn.get(), nullptr) != 1) {
        PgFail(lane.conn.get());
    }
    drainResults(lane.conn.get(), nullptr);
}

void PackageStore::refuse(std::string_view rows) {
    if (rows.empty()) return;
    Lane& lane = lanes_[current_];
    finishInsert(lane);
    try {
        copyRefused(lane, rows);
    } catch (const StoreError& failed) {
        if (!failed.refusedData()) throw;
        // A database whose encoding lacks a character of a station's name or
        // topic (the payload is bytes): the texts go with every byte beyond
        // ASCII written out ("\xe7"), so that the refusal is kept all the same.
        static constexpr char kHex[] = "0123456789abcdef";
        std::string ascii;
        for (const char c : rows) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x80) {
                ascii += c;
            } else {
                ascii.append("\\\\x").append(1, kHex[byte >> 4]).append(1, kHex[byte & 15]);
            }
        }
        copyRefused(lane, ascii);
    }
    refusedSinceBound_ += static_cast<std::uint64_t>(std::count(rows.begin(), rows.end(), '\n'));
    // The search for the oldest row kept reads up to the bound's rows.
    if (bounded_ && refusedSinceBound_ < refusedKept_ / 100) return;
    const std::string kept = std::to_string(refusedKept_);
    const char* values[] = {kept.c_str()};
    PgExecParams(lane.conn.get(), "SELECT zelvar_bound_refused($1::bigint)", 1, values);
    bounded_ = true;
    refusedSinceBound_ = 0;
}

void PackageStore::noteStations(const std::string& notes) {
    Lane& lane = lanes_[current_];
    finishInsert(lane);
    const std::string kept = std::to_string(kStationsKept);
    const char* values[] = {notes.c_str(), kept.c_str()};
    const PgResult r(PQexecParams(lane.conn.get(), "SELECT zelvar_note_stations($1::json, $2::bigint)", 2, nullptr,
                                  values, nullptr, nullptr, 0));
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK) {
        const char* state = PQresultErrorField(r.get(), PG_DIAG_SQLSTATE);
        const std::string_view refused = state != nullptr ? std::string_view(state).substr(0, 2) : "";
        throw StoreError(OneLine(PQresultErrorMessage(r.get())),
                         (refused == "22" || refused == "23" || refused == "54") &&
                             PQstatus(lane.conn.get()) == CONNECTION_OK);
    }
}

void PackageStore::settle() {
    for (Lane& lane : lanes_) {
        try {
            finishInsert(lane);
        } catch (const StoreError&) {
            // The failure already reported.
        }
    }
}

void PackageStore::flush() {
    if (staged_ > 0) startInsert(lanes_[current_]);
    for (Lane& lane : lanes_) finishInsert(lane);
}

}  // namespace zelvar
