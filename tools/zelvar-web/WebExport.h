#pragma once

#include <mutex>
#include <set>
#include <string>
#include <string_view>

#include "WebQueries.h"

namespace httplib {
class Server;
}

namespace zelvar {

class WebDatabase;
class WebLogin;

// A cell of a CSV file: quoted when it holds a separator, a quote or a line
// break; a text beginning with '=', '+', '-', '@', a tab or a carriage
// return (which spreadsheets run as a formula) also gets a leading "'" —
// a plain number such as -80 stays as it is.
std::string CsvCell(std::string_view text);

// GET /api/export: the calls of a range as the last heard filter narrows
// them, as CSV or GeoJSON, read through a cursor and sent as they come, on
// a database connection of the export's own. One export at a time per user
// (per address without logins), a few at once in all.
class WebExport {
public:
    WebExport(WebDatabase& database, WebLogin* login) : database_(database), login_(login) {}
    void routes(httplib::Server& server);

private:
    struct Running;
    WebDatabase& database_;
    WebLogin* login_;
    std::mutex mutex_;
    std::set<std::string> users_;  // those with an export running
};

}  // namespace zelvar
