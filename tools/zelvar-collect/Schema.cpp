#include "Schema.h"

#include <libpq-fe.h>

#include <optional>
#include <string_view>
#include <utility>

#include "PackageStore.h"
#include "PgConnection.h"

namespace zelvar {

const char* const kPackageColumns = R"(
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
    hex text NOT NULL)";

namespace {

// Version 1: the table and its DEFAULT partition.
std::string version1() {
    return std::string("CREATE TABLE IF NOT EXISTS packages (") + kPackageColumns +
           R"(,
    UNIQUE NULLS NOT DISTINCT (station, source, seq, time)
) PARTITION BY RANGE (time);
CREATE TABLE IF NOT EXISTS packages_default PARTITION OF packages DEFAULT)";
}

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

// Version 3: what the collector's role may not do itself, done as the owner:
// make a day's partition, drop the oldest refused rows beyond the bound.
// Each runs with the search path fixed to the tables' schema, so that no
// object of the caller's own is taken for one of them.
constexpr const char* kVersion3 = R"(
CREATE FUNCTION zelvar_make_day(day date) RETURNS void
LANGUAGE plpgsql SECURITY DEFINER SET search_path = @schema@, pg_temp AS $$
BEGIN
    IF day < date '0001-01-01' OR day > date '9999-12-30' THEN
        RAISE EXCEPTION 'no partition for the day %', day USING ERRCODE = '22008';
    END IF;
    PERFORM pg_advisory_xact_lock(@lock@);
    EXECUTE format('CREATE TABLE IF NOT EXISTS %I PARTITION OF packages FOR VALUES FROM (%L) TO (%L)',
                   'packages_' || to_char(day, 'YYYYMMDD'), to_char(day, 'YYYY-MM-DD') || ' 00:00:00+00',
                   to_char(day + 1, 'YYYY-MM-DD') || ' 00:00:00+00');
END $$;
CREATE FUNCTION zelvar_bound_refused(kept bigint) RETURNS void
LANGUAGE sql SECURITY DEFINER SET search_path = @schema@, pg_temp AS $$
DELETE FROM refused WHERE reason NOT LIKE '@waiting@%' AND id <= (SELECT id FROM refused
    WHERE reason NOT LIKE '@waiting@%' ORDER BY id DESC OFFSET kept LIMIT 1)
$$;
REVOKE ALL ON FUNCTION zelvar_make_day(date), zelvar_bound_refused(bigint) FROM PUBLIC;
UPDATE zelvar_schema SET version = 3)";

// Version 4: each imported log, with the zone its stamps were read in.
constexpr const char* kVersion4 = R"(
CREATE TABLE imports (
    source text COLLATE "C" NOT NULL,
    station text COLLATE "C" NOT NULL,
    zone text NOT NULL,
    file text NOT NULL,
    packages bigint,
    started timestamptz NOT NULL DEFAULT now(),
    finished timestamptz,
    PRIMARY KEY (source, station)
);
UPDATE zelvar_schema SET version = 4)";

// Version 5: the level as a number beside its text, filled by the server on
// every path and for the rows already stored; and what stations say of
// themselves, with the owner's function through which the collector's role
// notes it and keeps the table's bound.
constexpr const char* kVersion5 = R"(
ALTER TABLE packages
    ADD COLUMN dbm_value integer GENERATED ALWAYS AS (CASE WHEN dbm ~ '^-?[0-9]{1,9}$' THEN dbm::integer END) STORED,
    ADD COLUMN dbm_max boolean GENERATED ALWAYS AS (dbm IS NOT DISTINCT FROM 'Max') STORED;
CREATE TABLE stations (
    station text COLLATE "C" PRIMARY KEY CHECK (octet_length(station) <= 64),
    last_seen timestamptz NOT NULL,
    state text CHECK (state IN ('online', 'offline')),
    instance text CHECK (instance ~ '^[0-9a-f]{32}$'),
    hosts smallint CHECK (hosts >= 0),
    gps boolean,
    transceivers smallint CHECK (transceivers BETWEEN 0 AND 4),
    queued bigint CHECK (queued >= 0),
    dropped bigint CHECK (dropped >= 0),
    last_package timestamptz,
    lag interval
);
CREATE FUNCTION zelvar_note_stations(notes json, kept bigint) RETURNS void
LANGUAGE plpgsql SECURITY DEFINER SET search_path = @schema@, pg_temp AS $$
BEGIN
    INSERT INTO stations AS s
    SELECT n.station, to_timestamp(n.heard / 1000.0), n.state, n.instance, n.hosts, n.gps, n.transceivers,
           n.queued, n.dropped, to_timestamp(n.package / 1000.0),
           clock_timestamp() - to_timestamp(n.package / 1000.0)
    FROM json_to_recordset(notes) AS n(station text, heard bigint, state text, instance text, hosts smallint,
                                      gps boolean, transceivers smallint, queued bigint, dropped bigint,
                                      package bigint)
    ON CONFLICT (station) DO UPDATE SET
        last_seen = greatest(s.last_seen, excluded.last_seen),
        -- A status says all of these; a note of packages alone none.
        state = coalesce(excluded.state, s.state),
        instance = CASE WHEN excluded.state IS NULL THEN s.instance ELSE excluded.instance END,
        hosts = coalesce(excluded.hosts, s.hosts),
        gps = CASE WHEN excluded.state IS NULL THEN s.gps ELSE excluded.gps END,
        transceivers = CASE WHEN excluded.state IS NULL THEN s.transceivers ELSE excluded.transceivers END,
        queued = CASE WHEN excluded.state IS NULL THEN s.queued ELSE excluded.queued END,
        dropped = CASE WHEN excluded.state IS NULL THEN s.dropped ELSE excluded.dropped END,
        last_package = greatest(s.last_package, excluded.last_package),
        lag = coalesce(excluded.lag, s.lag);
    -- Anyone the broker lets in may invent station names: those heard of
    -- longest ago go.
    IF (SELECT count(*) FROM stations) > kept THEN
        DELETE FROM stations WHERE station IN (SELECT station FROM stations ORDER BY last_seen DESC OFFSET kept);
    END IF;
END $$;
REVOKE ALL ON FUNCTION zelvar_note_stations(json, bigint) FROM PUBLIC;
UPDATE zelvar_schema SET version = 5)";

// Version 6: what a web page reads fast over many rows. Indexes for the
// newest calls, on their own and by Group or ID (of calls only: every index
// makes storing dearer; a station has calls enough to be found by time),
// the first holding what the busiest Groups and IDs of a range are counted
// from; the signal reports with a position by time, holding what the map
// draws; and the packages and calls per minute and station, filled here for
// the rows already stored and by a trigger for every statement that stores
// more. The trigger runs as the owner, so that the collector's role still
// stores and reads nothing; it counts only the rows a statement stored
// (not those it skipped as already there), whoever stored them.
constexpr const char* kVersion6 = R"(
CREATE INDEX packages_time ON packages (time) INCLUDE (station, "group", id) WHERE call IS NOT NULL;
CREATE INDEX packages_group_time ON packages ("group", time) WHERE "group" IS NOT NULL;
CREATE INDEX packages_id_time ON packages (id, time) WHERE id IS NOT NULL;
CREATE INDEX packages_reports ON packages (time) INCLUDE (station, lat, lon, dbm_value, dbm_max)
    WHERE lat IS NOT NULL AND lon IS NOT NULL;
CREATE TABLE activity (
    minute timestamptz NOT NULL,
    station text COLLATE "C" NOT NULL,
    packages bigint NOT NULL,
    calls bigint NOT NULL,
    PRIMARY KEY (minute, station)
);
INSERT INTO activity
SELECT date_trunc('minute', time, 'UTC'), station, count(*), count(call) FROM packages
WHERE time IS NOT NULL GROUP BY 1, 2;
CREATE FUNCTION zelvar_count_activity() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER SET search_path = @schema@, pg_temp AS $$
BEGIN
    -- In the keys' order, so that two collectors storing at once take the
    -- same rows' locks in the same order.
    INSERT INTO activity AS a
    SELECT date_trunc('minute', time, 'UTC'), station, count(*), count(call) FROM stored
    WHERE time IS NOT NULL GROUP BY 1, 2 ORDER BY 1, 2
    ON CONFLICT (minute, station) DO UPDATE SET packages = a.packages + excluded.packages,
        calls = a.calls + excluded.calls;
    RETURN NULL;
END $$;
REVOKE ALL ON FUNCTION zelvar_count_activity() FROM PUBLIC;
CREATE TRIGGER packages_activity AFTER INSERT ON packages REFERENCING NEW TABLE AS stored
    FOR EACH STATEMENT EXECUTE FUNCTION zelvar_count_activity();
UPDATE zelvar_schema SET version = 6)";

// The rights of the collector's role, and nothing more: it stores, it does
// not read, change or delete what is stored. Of its imports it reads the
// zone and marks them begun and finished. What stations say it notes
// through the owner's function.
constexpr const char* kCollectorRights = R"(
REVOKE ALL ON packages, refused, zelvar_schema, imports, stations, activity FROM @role@;
REVOKE ALL ON SCHEMA @schema@ FROM @role@;
GRANT USAGE ON SCHEMA @schema@ TO @role@;
GRANT SELECT ON zelvar_schema TO @role@;
GRANT INSERT ON packages, refused TO @role@;
GRANT SELECT, INSERT, UPDATE (zone, file, packages, started, finished) ON imports TO @role@;
GRANT EXECUTE ON FUNCTION zelvar_make_day(date), zelvar_bound_refused(bigint),
    zelvar_note_stations(json, bigint) TO @role@)";

// `sql` with each @name@ replaced by its text.
std::string filled(std::string sql, std::initializer_list<std::pair<std::string_view, std::string>> names) {
    for (const auto& [name, text] : names) {
        for (std::size_t at = 0; (at = sql.find(name, at)) != std::string::npos; at += text.size()) {
            sql.replace(at, name.size(), text);
        }
    }
    return sql;
}

std::string firstValue(pg_conn* conn, const char* sql) {
    const PgResult r = PgExec(conn, sql);
    return PQntuples(r.get()) > 0 ? PQgetvalue(r.get(), 0, 0) : "";
}

// The schema's version: 0 for none, 1 for the table alone.
int version(pg_conn* conn) {
    const PgResult r = PgExec(conn,
                              "SELECT CASE WHEN to_regclass('zelvar_schema') IS NOT NULL THEN -1 "
                              "WHEN to_regclass('packages') IS NOT NULL THEN 1 ELSE 0 END");
    const int found = std::stoi(PQgetvalue(r.get(), 0, 0));
    if (found >= 0) return found;
    const PgResult v = PgExec(conn, "SELECT max(version) FROM zelvar_schema");
    if (PQgetisnull(v.get(), 0, 0)) throw SchemaMismatch("the table zelvar_schema holds no version");
    return std::stoi(PQgetvalue(v.get(), 0, 0));
}

std::string later(int found) {
    return "the database's schema has version " + std::to_string(found) +
           ", which this zelvar-collect (version " + std::to_string(kSchemaVersion) +
           ") does not know: use a later zelvar-collect";
}

// A schema of the search path that this role may not use: its tables are
// out of sight, and look like none.
std::string unusableSchema(pg_conn* conn) {
    return firstValue(conn,
                      "SELECT n.nspname FROM pg_namespace n, unnest(string_to_array(replace("
                      "current_setting('search_path'), ' ', ''), ',')) AS p(name) "
                      "WHERE (quote_ident(n.nspname) = p.name OR (p.name = '\"$user\"' AND n.nspname = current_user)) "
                      "AND NOT has_schema_privilege(n.oid, 'USAGE') LIMIT 1");
}

void grantCollectorRole(pg_conn* conn, const std::string& role, const std::string& schema) {
    if (firstValue(conn, "SELECT pg_get_userbyid(relowner) FROM pg_class WHERE oid = 'packages'::regclass") == role) {
        throw StoreError("the collector's role " + role + " owns the tables: give it a role of its own");
    }
    char* quoted = PQescapeIdentifier(conn, role.c_str(), role.size());
    if (quoted == nullptr) PgFail(conn);
    const std::string name = quoted;
    PQfreemem(quoted);
    PgExec(conn, filled(kCollectorRights, {{"@role@", name}, {"@schema@", schema}}).c_str());
    // Its staging table. Every role has this right unless the database's
    // owner took it away; only then is it granted, which needs that owner.
    const char* values[] = {role.c_str()};
    const PgResult temp = PgExecParams(conn, "SELECT has_database_privilege($1, current_database(), 'TEMP')", 1, values);
    if (std::string_view(PQgetvalue(temp.get(), 0, 0)) != "t") {
        PgExec(conn, ("GRANT TEMPORARY ON DATABASE " + firstValue(conn, "SELECT quote_ident(current_database())") +
                      " TO " + name)
                         .c_str());
    }
}

}  // namespace

std::string InitSchema(pg_conn* conn, const std::string& collectorRole) {
    PgExec(conn, "BEGIN");
    try {
        PgExec(conn, (std::string("SELECT pg_advisory_xact_lock(") + kCatalogLock + ")").c_str());
        const int found = version(conn);
        if (found > kSchemaVersion) throw SchemaMismatch(later(found));
        const std::string schema = firstValue(conn, "SELECT quote_ident(current_schema())");
        if (found < 1) PgExec(conn, version1().c_str());
        if (found < 2) PgExec(conn, kVersion2);
        if (found < 3) {
            PgExec(conn, filled(kVersion3, {{"@schema@", schema}, {"@lock@", kCatalogLock}, {"@waiting@", kTimeReason}})
                             .c_str());
        }
        if (found < 4) PgExec(conn, kVersion4);
        if (found < 5) PgExec(conn, filled(kVersion5, {{"@schema@", schema}}).c_str());
        if (found < 6) PgExec(conn, filled(kVersion6, {{"@schema@", schema}}).c_str());
        if (!collectorRole.empty()) grantCollectorRole(conn, collectorRole, schema);
        PgExec(conn, "COMMIT");
        std::string said;
        if (found == kSchemaVersion) {
            said = "schema version " + std::to_string(found) + ", nothing to do";
        } else if (found == 0) {
            said = "made the schema, version " + std::to_string(kSchemaVersion);
        } else {
            said = "upgraded the schema from version " + std::to_string(found) + " to " +
                   std::to_string(kSchemaVersion);
        }
        if (!collectorRole.empty()) {
            said += "\nthe collector role " + collectorRole + " may store, and nothing more";
        }
        return said;
    } catch (...) {
        const PgResult rollback(PQexec(conn, "ROLLBACK"));
        throw;
    }
}

std::string InitDatabase(const std::string& conninfo, const std::string& collectorRole) {
    const PgConnection conn = PgConnect(conninfo);
    return InitSchema(conn.get(), collectorRole);
}

std::optional<std::string> WrongSchema(const std::string& conninfo) {
    const PgConnection conn = PgOpen(conninfo);
    if (PQstatus(conn.get()) != CONNECTION_OK) return std::nullopt;
    try {
        CheckSchema(conn.get());
        return std::nullopt;
    } catch (const SchemaMismatch& wrong) {
        return wrong.what();
    } catch (const StoreError&) {
        // A right missing: the service says so and waits for it.
        return std::nullopt;
    }
}

void CheckSchema(pg_conn* conn) {
    const int found = version(conn);
    if (found == kSchemaVersion) return;
    if (found == 0) {
        const std::string unusable = unusableSchema(conn);
        if (!unusable.empty()) {
            throw StoreError("the role " + firstValue(conn, "SELECT current_user") + " may not use the schema " +
                             unusable + ": the owner of the tables grants it with --init --collector-role");
        }
        throw SchemaMismatch("no tables of zelvar-collect in the database: make them with --init");
    }
    if (found < kSchemaVersion) {
        throw SchemaMismatch("the database's schema has the older version " + std::to_string(found) +
                             ": upgrade it with --init, as the owner of its tables");
    }
    throw SchemaMismatch(later(found));
}

}  // namespace zelvar
