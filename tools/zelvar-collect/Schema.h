#pragma once

#include <optional>
#include <string>

struct pg_conn;

namespace zelvar {

// The version of the tables this collector writes, kept in the table
// `zelvar_schema`. Version 1 is the table `packages` alone, from before the
// schema had a version.
constexpr int kSchemaVersion = 2;

// The advisory lock every collector takes to make or change a table or a
// day's partition, so that two of them never race for the same catalog
// entry: the bytes of "zelvar-p".
constexpr const char* kCatalogLock = "8819574700971797872";

// Makes the tables, or upgrades older ones with what they hold, to
// kSchemaVersion: the only path that changes the schema, run by the owner of
// the tables. What it did, in a line. Throws StoreError, also for a schema
// of a later version.
std::string InitSchema(pg_conn* conn);

// InitSchema over a connection of its own.
std::string InitDatabase(const std::string& conninfo);
// What is wrong with the schema of the database, when it can be reached.
std::optional<std::string> WrongSchema(const std::string& conninfo);

// Throws StoreError unless the schema has kSchemaVersion: none, an older or a
// later one is named, with what to do.
void CheckSchema(pg_conn* conn);

}  // namespace zelvar
