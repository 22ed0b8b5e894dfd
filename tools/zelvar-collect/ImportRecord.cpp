#include "ImportRecord.h"

#include <libpq-fe.h>

#include <string_view>
#include <utility>

#include "PackageStore.h"

namespace zelvar {

ImportRecord::ImportRecord(const std::string& conninfo, std::string source, std::string station)
    : conn_(PgConnect(conninfo)), source_(std::move(source)), station_(std::move(station)) {
    PgExec(conn_.get(), "SET client_encoding = 'UTF8'");
}

void ImportRecord::begin(const std::string& zone, const std::string& file, bool anew) {
    const char* values[] = {source_.c_str(), station_.c_str(), zone.c_str(), file.c_str(), anew ? "t" : "f"};
    const PgResult started = PgExecParams(
        conn_.get(),
        "INSERT INTO imports (source, station, zone, file) VALUES ($1, $2, $3, $4) "
        "ON CONFLICT (source, station) DO UPDATE SET zone = excluded.zone, file = excluded.file, "
        "started = now(), finished = NULL WHERE imports.zone = excluded.zone OR $5::boolean",
        5, values);
    if (std::string_view(PQcmdTuples(started.get())) != "0") return;
    const PgResult recorded =
        PgExecParams(conn_.get(), "SELECT zone FROM imports WHERE source = $1 AND station = $2", 2, values);
    throw StoreError("this log of " + station_ + " was imported in the zone " + PQgetvalue(recorded.get(), 0, 0) +
                     ": import it in that zone, or with --zone-anew to read it in " + zone + " as well");
}

void ImportRecord::finish(std::uint64_t packages) {
    const std::string count = std::to_string(packages);
    const char* values[] = {source_.c_str(), station_.c_str(), count.c_str()};
    PgExecParams(conn_.get(),
                 "UPDATE imports SET packages = $3, finished = now() WHERE source = $1 AND station = $2", 3,
                 values);
}

}  // namespace zelvar
