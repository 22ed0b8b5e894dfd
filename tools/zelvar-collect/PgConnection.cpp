#include "PgConnection.h"

#include <libpq-fe.h>

#include "PackageStore.h"

namespace zelvar {

namespace {

PgResult checked(pg_conn* conn, PGresult* raw) {
    PgResult r(raw);
    const ExecStatusType status = PQresultStatus(raw);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) PgFail(conn);
    return r;
}

}  // namespace

void PgFinish::operator()(pg_conn* conn) const {
    PQfinish(conn);
}

void PgClear::operator()(pg_result* result) const {
    PQclear(result);
}

std::string OneLine(std::string_view text) {
    std::string line(text.substr(0, text.find('\n')));
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
    return line.empty() ? std::string("unknown database error") : line;
}

PgConnection PgOpen(const std::string& conninfo) {
    PgConnection conn(PQconnectdb(conninfo.c_str()));
    if (!conn) throw StoreError("cannot connect to the database: out of memory");
    PQsetNoticeProcessor(
        conn.get(), [](void*, const char*) {}, nullptr);
    return conn;
}

PgConnection PgConnect(const std::string& conninfo) {
    PgConnection conn = PgOpen(conninfo);
    if (PQstatus(conn.get()) != CONNECTION_OK)
        PgFail(conn.get(), "cannot connect to the database: ");
    return conn;
}

void PgFail(pg_conn* conn, std::string_view what) {
    std::string message(what);
    message += OneLine(PQerrorMessage(conn));
    throw StoreError(message);
}

PgResult PgExec(pg_conn* conn, const char* sql) {
    return checked(conn, PQexec(conn, sql));
}

PgResult PgExecParams(pg_conn* conn, const char* sql, int count, const char* const* values,
                      int resultFormat) {
    return checked(conn,
                   PQexecParams(conn, sql, count, nullptr, values, nullptr, nullptr, resultFormat));
}

}  // namespace zelvar
