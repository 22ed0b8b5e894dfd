#include "PackageStore.h"

#include <libpq-fe.h>

#include <memory>

namespace zelvar {

namespace {

// Rows are handed to the server in pieces of about this size, and each
// batch is moved from the staging table into `packages` at this many rows:
// the collector's memory stays small whatever the log's size.
constexpr std::size_t kSendBytes = 256 * 1024;
constexpr std::uint64_t kBatchRows = 100'000;

// Every collector takes this advisory lock to make the table or a day's
// partition, so that two of them never race for the same catalog entry.
constexpr const char* kLockKey = "7956886296110920050";  // "zelvar-p" as a number

constexpr const char* kCreateTable = R"(
CREATE TABLE IF NOT EXISTS packages (
    station text NOT NULL,
    source text NOT NULL,
    seq bigint NOT NULL,
    time timestamptz,
    port smallint NOT NULL,
    stamp text,
    type text,
    call text,
    "group" text,
    id integer,
    clr smallint,
    enc text,
    ptt text,
    dbm text,
    lat double precision,
    lon double precision,
    pdop real,
    hex text NOT NULL,
    UNIQUE NULLS NOT DISTINCT (station, source, seq, time)
) PARTITION BY RANGE (time))";

constexpr const char* kCreateDefault =
    "CREATE TABLE IF NOT EXISTS packages_default PARTITION OF packages DEFAULT";

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

// The server's message in one line: the first line of libpq's text, which
// carries the primary message ("ERROR:  ..." without DETAIL and HINT).
std::string oneLine(std::string_view text) {
    std::string line(text.substr(0, text.find('\n')));
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
    return line.empty() ? std::string("unknown database error") : line;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A date as the server writes it in ISO style: 4 or 5 year digits, then
// -MM-DD. Only such texts are put into partition names and bounds.
bool isoDate(std::string_view text) {
    if (text.size() != 10 && text.size() != 11) return false;
    const std::size_t y = text.size() - 6;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == y || i == y + 3;
        if (dash ? text[i] != '-' : !isDigit(text[i])) return false;
    }
    return true;
}

}  // namespace

const char* const PackageStore::CopyColumns =
    "station, source, seq, time, port, stamp, type, call, \"group\", id, clr, enc, ptt, dbm, "
    "lat, lon, pdop, hex";

void AppendCopyText(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
            case '\\': out.append("\\\\"); break;
            case '\t': out.append("\\t"); break;
            case '\n': out.append("\\n"); break;
            case '\r': out.append("\\r"); break;
            default: out += c;
        }
    }
}

PackageStore::PackageStore(const std::string& conninfo) {
    conn_ = PQconnectdb(conninfo.c_str());
    if (conn_ == nullptr) throw StoreError("cannot connect to the database: out of memory");
    if (PQstatus(conn_) != CONNECTION_OK) fail("cannot connect to the database: ");
    // "already exists, skipping" and the like are no news for the user.
    PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
    exec("SET client_encoding = 'UTF8'");
    exec("SET TimeZone = 'UTC'");
    const char* key[] = {kLockKey};
    execParams("SELECT pg_advisory_lock($1::bigint)", 1, key);
    exec(kCreateTable);
    exec(kCreateDefault);
    execParams("SELECT pg_advisory_unlock($1::bigint)", 1, key);
    exec("CREATE TEMPORARY TABLE zelvar_staging (LIKE packages)");
    pending_.reserve(kSendBytes + 4096);
}

PackageStore::~PackageStore() { PQfinish(conn_); }

void PackageStore::fail(std::string_view what) {
    std::string message(what);
    message += oneLine(PQerrorMessage(conn_));
    throw StoreError(message);
}

void PackageStore::exec(const char* sql) {
    const Result r(PQexec(conn_, sql), &PQclear);
    const ExecStatusType status = PQresultStatus(r.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) fail("");
}

void PackageStore::execParams(const char* sql, int count, const char* const* values) {
    const Result r(PQexecParams(conn_, sql, count, nullptr, values, nullptr, nullptr, 0), &PQclear);
    const ExecStatusType status = PQresultStatus(r.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) fail("");
}

void PackageStore::add(std::string_view row) {
    pending_.append(row);
    ++staged_;
    if (pending_.size() >= kSendBytes) sendCopy();
    if (staged_ >= kBatchRows) flush();
}

void PackageStore::startCopy() {
    std::string sql = "COPY zelvar_staging (";
    sql.append(CopyColumns).append(") FROM STDIN");
    const Result r(PQexec(conn_, sql.c_str()), &PQclear);
    if (PQresultStatus(r.get()) != PGRES_COPY_IN) fail("");
    copying_ = true;
}

void PackageStore::sendCopy() {
    if (pending_.empty()) return;
    if (!copying_) startCopy();
    if (PQputCopyData(conn_, pending_.data(), static_cast<int>(pending_.size())) != 1) fail("");
    pending_.clear();
}

void PackageStore::endCopy() {
    sendCopy();
    if (!copying_) return;
    copying_ = false;
    if (PQputCopyEnd(conn_, nullptr) != 1) fail("");
    // The COPY's own result, then the end of the command.
    bool failed = false;
    while (PGresult* raw = PQgetResult(conn_)) {
        const Result r(raw, &PQclear);
        if (PQresultStatus(raw) != PGRES_COMMAND_OK && !failed) {
            failed = true;
            const char* primary = PQresultErrorField(raw, PG_DIAG_MESSAGE_PRIMARY);
            if (primary != nullptr) {
                std::string message = "ERROR:  ";
                message += oneLine(primary);
                // Drain the rest before leaving.
                while (PGresult* more = PQgetResult(conn_)) PQclear(more);
                throw StoreError(message);
            }
        }
    }
    if (failed) fail("");
}

void PackageStore::makeDayPartitions() {
    const Result days(PQexec(conn_,
                             "SELECT DISTINCT (time AT TIME ZONE 'UTC')::date::text, "
                             "((time AT TIME ZONE 'UTC')::date + 1)::text "
                             "FROM zelvar_staging WHERE time IS NOT NULL"),
                      &PQclear);
    if (PQresultStatus(days.get()) != PGRES_TUPLES_OK) fail("");
    const char* key[] = {kLockKey};
    bool locked = false;
    for (int i = 0; i < PQntuples(days.get()); ++i) {
        const std::string day = PQgetvalue(days.get(), i, 0);
        const std::string next = PQgetvalue(days.get(), i, 1);
        if (knownDays_.count(day) != 0) continue;
        if (!isoDate(day) || !isoDate(next)) throw StoreError("unexpected date from the server: " + day);
        if (!locked) {
            execParams("SELECT pg_advisory_lock($1::bigint)", 1, key);
            locked = true;
        }
        // Bounds cannot be parameters; the dates are the server's own,
        // checked above to be digits and dashes only.
        std::string name = "packages_";
        for (const char c : day) {
            if (c != '-') name += c;
        }
        std::string sql = "CREATE TABLE IF NOT EXISTS ";
        sql.append(name).append(" PARTITION OF packages FOR VALUES FROM ('");
        sql.append(day).append(" 00:00:00+00') TO ('").append(next).append(" 00:00:00+00')");
        exec(sql.c_str());
        knownDays_.insert(day);
    }
    if (locked) execParams("SELECT pg_advisory_unlock($1::bigint)", 1, key);
}

void PackageStore::flush() {
    if (staged_ == 0) return;
    endCopy();
    // Each day's partition exists before the first row of that day is
    // written: a row of a day without one would land in the DEFAULT
    // partition and keep the day's partition from ever being made.
    makeDayPartitions();
    std::string sql = "INSERT INTO packages (";
    sql.append(CopyColumns).append(") SELECT ").append(CopyColumns);
    sql.append(" FROM zelvar_staging ON CONFLICT DO NOTHING");
    const Result r(PQexec(conn_, sql.c_str()), &PQclear);
    if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) fail("");
    stored_ += std::stoull(PQcmdTuples(r.get()));
    exec("TRUNCATE zelvar_staging");
    staged_ = 0;
}

}  // namespace zelvar
