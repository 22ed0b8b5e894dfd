#pragma once

#include <memory>
#include <string>
#include <string_view>

struct pg_conn;
struct pg_result;

namespace zelvar {

struct PgFinish {
    void operator()(pg_conn* conn) const;
};
struct PgClear {
    void operator()(pg_result* result) const;
};
using PgConnection = std::unique_ptr<pg_conn, PgFinish>;
using PgResult = std::unique_ptr<pg_result, PgClear>;

// libpq's message in one line: its first line, which carries the server's
// primary message ("ERROR:  ..." without DETAIL and HINT).
std::string OneLine(std::string_view text);

// A connection, up or not, whose notices are dropped ("already exists,
// skipping" and the like are no news for the user). Throws StoreError only
// when libpq had no memory for it.
PgConnection PgOpen(const std::string& conninfo);
// The same, up, or a StoreError "cannot connect to the database: ...".
PgConnection PgConnect(const std::string& conninfo);

// Throws the connection's last error in one line, after `what`, as a StoreError.
[[noreturn]] void PgFail(pg_conn* conn, std::string_view what = {});

// A command or query; its failure is thrown as PgFail does.
PgResult PgExec(pg_conn* conn, const char* sql);
PgResult PgExecParams(pg_conn* conn, const char* sql, int count, const char* const* values,
                      int resultFormat = 0);

}  // namespace zelvar
