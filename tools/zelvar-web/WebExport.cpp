#include "WebExport.h"

#include <libpq-fe.h>

#include <memory>

#include "WebDatabase.h"
#include "WebLogin.h"
#include "WebReply.h"

namespace zelvar {

namespace {

// Exports running at once, all users together: each holds a connection.
constexpr std::size_t kExportsMax = 4;
constexpr const char* kRowsPerFetch = "FETCH 2000 FROM export";

// $1 from, $2 to, $3 station, $4 Group, $5 ID: the rows of last heard.
const std::string kExportRows = R"(
FROM packages
WHERE call IS NOT NULL AND time >= $1::timestamptz AND time < $2::timestamptz
  AND ($3::text IS NULL OR station = $3::text) AND ($4::text IS NULL OR "group" = $4::text)
  AND ($5::integer IS NULL OR id = $5::integer)
ORDER BY time, station, source, seq)";

const std::string kCsvSql = R"(
DECLARE export NO SCROLL CURSOR FOR
SELECT to_char(time, 'YYYY-MM-DD"T"HH24:MI:SS.US"Z"'), station, source, seq, port, call, "group", id, clr, enc,
       ptt, dbm, lat, lon
)" + kExportRows;

const std::string kGeoJsonSql = R"(
DECLARE export NO SCROLL CURSOR FOR
SELECT json_build_object('type', 'Feature',
    'geometry', CASE WHEN lat IS NOT NULL AND lon IS NOT NULL
                     THEN json_build_object('type', 'Point', 'coordinates', json_build_array(lon, lat)) END,
    'properties', json_build_object('time', to_char(time, 'YYYY-MM-DD"T"HH24:MI:SS.US"Z"'), 'station', station,
        'source', source, 'seq', seq, 'port', port, 'call', call, 'group', "group", 'id', id, 'clr', clr,
        'enc', enc, 'ptt', ptt, 'dbm', dbm))::text
)" + kExportRows;

constexpr const char* kCsvHeader = "time,station,source,seq,port,call,group,id,clr,enc,ptt,dbm,lat,lon\r\n";

bool IsNumber(std::string_view text) {
    std::size_t at = text.size() > 1 && text[0] == '-' ? 1 : 0;
    bool digits = false, point = false;
    for (; at < text.size(); ++at) {
        if (text[at] >= '0' && text[at] <= '9') {
            digits = true;
        } else if (text[at] == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digits;
}

}  // namespace

std::string CsvCell(std::string_view text) {
    const bool formula = !text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos &&
                         !IsNumber(text);
    if (!formula && text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string cell = formula ? "\"'" : "\"";
    for (const char c : text) {
        if (c == '"') cell += '"';
        cell += c;
    }
    return cell + '"';
}

// One export from its cursor to its end; whatever way the response ends,
// its connection closes and the user may start another.
struct WebExport::Running {
    WebExport& owner;
    std::string user;
    pg_conn* conn = nullptr;
    bool geojson = false;
    bool begun = false;
    bool finished = false;
    long long written = 0;
    ~Running() {
        if (conn != nullptr) PQfinish(conn);
        const std::lock_guard lock(owner.mutex_);
        owner.users_.erase(user);
    }

    // The next piece of the file; nothing left: empty.
    std::string next() {
        std::string out;
        if (finished) return out;
        if (!begun) {
            begun = true;
            out = geojson ? "{\"type\":\"FeatureCollection\",\"features\":[\n" : kCsvHeader;
        }
        const std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(conn, kRowsPerFetch), &PQclear);
        if (PQresultStatus(r.get()) != PGRES_TUPLES_OK) throw DatabaseError("export: fetch failed");
        const int rows = PQntuples(r.get());
        for (int i = 0; i < rows; ++i) {
            if (geojson) {
                if (written > 0) out += ",\n";
                out += PQgetvalue(r.get(), i, 0);
            } else {
                for (int f = 0; f < PQnfields(r.get()); ++f) {
                    if (f > 0) out += ',';
                    out += CsvCell(PQgetvalue(r.get(), i, f));
                }
                out += "\r\n";
            }
            ++written;
        }
        if (rows == 0) {
            finished = true;
            if (geojson) out += "\n]}\n";
        }
        return out;
    }
};

void WebExport::routes(httplib::Server& server) {
    server.Get("/api/export", [this](const httplib::Request& req, httplib::Response& res) {
        const auto parsed = ParseExportQuery(req.params);
        if (const auto* bad = std::get_if<BadRequest>(&parsed)) return Refuse(res, 400, bad->message);
        const ExportQuery& query = std::get<ExportQuery>(parsed);
        std::string user = login_ ? login_->user(req).value_or("") : "address " + req.remote_addr;
        {
            const std::lock_guard lock(mutex_);
            if (users_.count(user) != 0) return Refuse(res, 429, "an export of yours is running: wait for its end");
            if (users_.size() >= kExportsMax) {
                res.set_header("Retry-After", "10");
                return Refuse(res, 503, "too many exports at once");
            }
            users_.insert(user);
        }
        const std::shared_ptr<Running> running(new Running{*this, std::move(user)});
        running->geojson = query.geojson;
        running->conn = database_.connect();
        const std::string id = query.id ? std::to_string(*query.id) : "";
        const char* values[] = {query.range.from.c_str(), query.range.to.c_str(),
                                query.station ? query.station->c_str() : nullptr,
                                query.group ? query.group->c_str() : nullptr, query.id ? id.c_str() : nullptr};
        const std::unique_ptr<PGresult, decltype(&PQclear)> begin(PQexec(running->conn, "BEGIN READ ONLY"), &PQclear);
        const std::unique_ptr<PGresult, decltype(&PQclear)> declared(
            PQexecParams(running->conn, (query.geojson ? kGeoJsonSql : kCsvSql).c_str(), 5, nullptr, values, nullptr, nullptr, 0),
            &PQclear);
        if (PQresultStatus(declared.get()) != PGRES_COMMAND_OK) throw DatabaseError("export: no cursor");
        const char* name = query.geojson ? "attachment; filename=\"zelvar-calls.geojson\""
                                         : "attachment; filename=\"zelvar-calls.csv\"";
        res.set_header("Content-Disposition", name);
        res.set_chunked_content_provider(
            query.geojson ? "application/geo+json" : "text/csv; charset=utf-8",
            [running](std::size_t, httplib::DataSink& sink) {
                std::string piece;
                try {
                    piece = running->next();
                } catch (const DatabaseError&) {
                    return false;  // the client sees a file cut short, not a whole one
                }
                if (piece.empty()) {
                    sink.done();
                    return true;
                }
                return sink.write(piece.data(), piece.size());
            });
    });
}

}  // namespace zelvar
