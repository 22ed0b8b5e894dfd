#include "WebActivity.h"

#include <cstdio>

#include "CoverageFormats.h"
#include "WebDatabase.h"

namespace zelvar {

namespace {

// `time` as local time: the database's rules of the zone named, or a fixed
// offset east of UTC.
std::string Local(const std::string& time) {
    return "CASE WHEN z.shift IS NULL THEN timezone(z.name, " + time + ") ELSE timezone(z.shift, " + time + ") END";
}

// $1 from, $2 to, $3 station, $4 zone name, $5 offset, $6 'minute' or 'hour'.
const std::string kActivitySql = R"(
WITH z AS (SELECT $4::text AS name, $5::interval AS shift, $6::text AS step),
a AS (SELECT date_trunc(z.step, )" + Local("minute") + R"() AS bucket,
             station, sum(packages) AS packages, sum(calls) AS calls
      FROM activity, z
      WHERE minute >= date_trunc('minute', $1::timestamptz, 'UTC') AND minute < $2::timestamptz
        AND ($3::text IS NULL OR station = $3::text)
      GROUP BY 1, 2),
b AS (SELECT generate_series(date_trunc(z.step, )" + Local("$1::timestamptz") + "), " +
                                    Local("$2::timestamptz - interval '1 microsecond'") + R"(,
                             ('1 ' || z.step)::interval) AS bucket FROM z)
SELECT json_build_object(
    'buckets', (SELECT coalesce(json_agg(to_char(bucket, 'YYYY-MM-DD"T"HH24:MI') ORDER BY bucket), '[]') FROM b),
    'rows', (SELECT coalesce(json_agg(json_build_array(to_char(bucket, 'YYYY-MM-DD"T"HH24:MI'), station, packages, calls)
                                      ORDER BY bucket, station), '[]') FROM a))::text)";

// $1 from, $2 to, $3 station: the calls of the range by Group and by ID,
// in one pass over the index of calls by time, which holds both.
constexpr const char* kBusiestSql = R"(
WITH c AS (SELECT "group", id, count(*) AS n FROM packages
           WHERE call IS NOT NULL AND time >= $1::timestamptz AND time < $2::timestamptz
             AND ($3::text IS NULL OR station = $3::text)
           GROUP BY GROUPING SETS (("group"), (id)))
SELECT json_build_object(
    'groups', (SELECT coalesce(json_agg(json_build_array("group", n)), '[]') FROM (
               SELECT "group", n FROM c WHERE "group" IS NOT NULL ORDER BY n DESC, "group" LIMIT 10) t),
    'ids', (SELECT coalesce(json_agg(json_build_array(id, n)), '[]') FROM (
            SELECT id, n FROM c WHERE id IS NOT NULL ORDER BY n DESC, id LIMIT 10) t))::text)";

// The colour of a cell of the map from its strongest reading `v` and
// whether it holds a "Max" (`mx`), band by band as the coverage export has them.
std::string BandColourSql() {
    std::string sql = "CASE WHEN mx THEN '#" + std::string(kSignalBands[0].rgb) + "' WHEN v IS NULL THEN '#" +
                      std::string(kNoReadingBand.rgb) + "'";
    for (const SignalBand& band : kSignalBands) {
        if (&band == std::end(kSignalBands) - 1) break;
        sql += " WHEN v >= " + std::to_string(band.floorDbm) + " THEN '#" + std::string(band.rgb) + "'";
    }
    return sql + " ELSE '#" + std::string(std::end(kSignalBands)[-1].rgb) + "' END";
}

// $1 from, $2 to, $3 station, $4..$7 south, west, north, east. The grid
// lies over the box asked for, or over the reports' own extent.
const std::string kMapSql = R"(
WITH p AS MATERIALIZED (
    SELECT lat, lon, dbm_value, dbm_max FROM packages
    WHERE time >= $1::timestamptz AND time < $2::timestamptz AND lat IS NOT NULL AND lon IS NOT NULL
      AND ($3::text IS NULL OR station = $3::text)
      AND ($4::float8 IS NULL OR (lat BETWEEN $4::float8 AND $6::float8 AND lon BETWEEN $5::float8 AND $7::float8))),
e AS (SELECT coalesce($4::float8, min(lat)) AS s, coalesce($5::float8, min(lon)) AS w,
             coalesce($6::float8, max(lat)) AS n, coalesce($7::float8, max(lon)) AS e FROM p),
g AS (SELECT avg(lat) AS lat, avg(lon) AS lon, count(*) AS reports, bool_or(dbm_max) AS mx, max(dbm_value) AS v
      FROM p, e
      GROUP BY least(floor((lat - e.s) / greatest(e.n - e.s, 1e-9) * 64), 63),
               least(floor((lon - e.w) / greatest(e.e - e.w, 1e-9) * 64), 63))
SELECT json_build_object('reports', (SELECT count(*) FROM p), 'points', coalesce(json_agg(json_build_array(
    round(lat::numeric, 6), round(lon::numeric, 6), )" + BandColourSql() + R"(, v, reports)), '[]'))::text FROM g)";

}  // namespace

std::string Activity(WebDatabase& database, const ActivityQuery& query) {
    const auto text = [](const std::optional<std::string>& value) { return value ? value->c_str() : nullptr; };
    const char* values[] = {query.range.from.c_str(), query.range.to.c_str(), text(query.station), text(query.zone),
                            text(query.offset),        query.perMinute ? "minute" : "hour"};
    return database.queryRow(kActivitySql.c_str(), 6, values,
                             "parameter zone: a time zone such as Europe/Berlin or an offset such as +02:00")
        .at(0);
}

std::string Busiest(WebDatabase& database, const BusiestQuery& query) {
    const char* values[] = {query.range.from.c_str(), query.range.to.c_str(),
                            query.station ? query.station->c_str() : nullptr};
    return database.queryRow(kBusiestSql, 3, values).at(0);
}

std::string MapPoints(WebDatabase& database, const MapQuery& query) {
    std::string box[4];
    const char* values[7] = {query.range.from.c_str(), query.range.to.c_str(),
                             query.station ? query.station->c_str() : nullptr};
    for (std::size_t i = 0; i < 4 && query.box; ++i) {
        char degrees[32];
        std::snprintf(degrees, sizeof degrees, "%.9g", (*query.box)[i]);
        box[i] = degrees;
        values[3 + i] = box[i].c_str();
    }
    return database.queryRow(kMapSql.c_str(), 7, values).at(0);
}

std::string SignalBandsJson() {
    std::string json = "[";
    const auto add = [&json](const SignalBand& band, bool reading) {
        if (json.size() > 1) json += ',';
        json += "{\"floor\":" + (reading ? std::to_string(band.floorDbm) : std::string("null")) + ",\"name\":\"" +
                std::string(band.name) + "\",\"rgb\":\"" + std::string(band.rgb) + "\"}";
    };
    for (const SignalBand& band : kSignalBands) add(band, &band != std::end(kSignalBands) - 1);
    add(kNoReadingBand, false);
    return json + "]";
}

}  // namespace zelvar
