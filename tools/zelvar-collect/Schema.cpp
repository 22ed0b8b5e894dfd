#include "Schema.h"

#include <libpq-fe.h>

#include <optional>

#include "PackageStore.h"
#include "PgConnection.h"

namespace zelvar {

namespace {

// Version 1: the table and its DEFAULT partition.
constexpr const char* kVersion1 = R"(
CREATE TABLE IF NOT EXISTS packages (
    station text COLLATE "C" NOT NULL,
    source text COLLATE "C" NOT NULL,
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
) PARTITION BY RANGE (time);
CREATE TABLE IF NOT EXISTS packages_default PARTITION OF packages DEFAULT)";

// Version 2: packages the collector refused, and the version itself.
constexpr const char* kVersion2 = R"(
CREATE TABLE refused (
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    at timestamptz NOT NULL DEFAULT now(),
    station text NOT NULL,
    topic text NOT NULL,
    reason text NOT NULL,
    payload bytea NOT NULL
);
CREATE TABLE zelvar_schema (version integer NOT NULL);
INSERT INTO zelvar_schema VALUES (2))";

// The schema's version: 0 for none, 1 for the table alone.
int version(pg_conn* conn) {
    const PgResult r = PgExec(conn,
                              "SELECT CASE WHEN to_regclass('zelvar_schema') IS NOT NULL THEN -1 "
                              "WHEN to_regclass('packages') IS NOT NULL THEN 1 ELSE 0 END");
    const int found = std::stoi(PQgetvalue(r.get(), 0, 0));
    if (found >= 0) return found;
    const PgResult v(PQexec(conn, "SELECT max(version) FROM zelvar_schema"));
    if (PQresultStatus(v.get()) != PGRES_TUPLES_OK || PQgetisnull(v.get(), 0, 0)) {
        throw StoreError("the table zelvar_schema holds no version");
    }
    return std::stoi(PQgetvalue(v.get(), 0, 0));
}

std::string later(int found) {
    return "the database's schema has version " + std::to_string(found) +
           ", which this zelvar-collect (version " + std::to_string(kSchemaVersion) +
           ") does not know: use a later zelvar-collect";
}

}  // namespace

std::string InitSchema(pg_conn* conn) {
    PgExec(conn, "BEGIN");
    try {
        PgExec(conn, (std::string("SELECT pg_advisory_xact_lock(") + kCatalogLock + ")").c_str());
        const int found = version(conn);
        if (found > kSchemaVersion) throw StoreError(later(found));
        if (found < 1) PgExec(conn, kVersion1);
        if (found < 2) PgExec(conn, kVersion2);
        PgExec(conn, "COMMIT");
        if (found == kSchemaVersion)
            return "schema version " + std::to_string(found) + ", nothing to do";
        if (found == 0) return "made the schema, version " + std::to_string(kSchemaVersion);
        return "upgraded the schema from version " + std::to_string(found) + " to " +
               std::to_string(kSchemaVersion);
    } catch (...) {
        const PgResult rollback(PQexec(conn, "ROLLBACK"));
        throw;
    }
}

std::string InitDatabase(const std::string& conninfo) {
    const PgConnection conn = PgConnect(conninfo);
    return InitSchema(conn.get());
}

std::optional<std::string> WrongSchema(const std::string& conninfo) {
    const PgConnection conn = PgOpen(conninfo);
    if (PQstatus(conn.get()) != CONNECTION_OK) return std::nullopt;
    try {
        CheckSchema(conn.get());
        return std::nullopt;
    } catch (const StoreError& wrong) {
        return wrong.what();
    }
}

void CheckSchema(pg_conn* conn) {
    const int found = version(conn);
    if (found == kSchemaVersion) return;
    if (found == 0)
        throw StoreError("no tables of zelvar-collect in the database: make them with --init");
    if (found < kSchemaVersion) {
        throw StoreError("the database's schema has the older version " + std::to_string(found) +
                         ": upgrade it with --init, as the owner of its tables");
    }
    throw StoreError(later(found));
}

}  // namespace zelvar
