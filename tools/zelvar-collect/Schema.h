#pragma once

#include <optional>
#include <string>

#include "PackageStore.h"

struct pg_conn;

namespace zelvar {

// The version of the tables this collector writes, kept in the table
// `zelvar_schema`. Version 1 is the table `packages` alone, from before the
// schema had a version.
constexpr int kSchemaVersion = 6;

// The advisory lock every collector takes to make or change a table or a
// day's partition, so that two of them never race for the same catalog
// entry: the bytes of "zelvar-p".
constexpr const char* kCatalogLock = "8819574700971797872";

// The columns of `packages`, also those of each collector's staging table.
extern const char* const kPackageColumns;

// No tables, or tables of another version: no collector may use them.
class SchemaMismatch : public StoreError {
public:
    using StoreError::StoreError;
};

// Makes the tables, or upgrades older ones with what they hold, to
// kSchemaVersion: the only path that changes the schema, run by the owner of
// the tables. With a collectorRole, gives that role what the collector needs
// to store and takes any other right on the tables from it. What it did, a
// line for each. Throws StoreError, also for a schema of a later version.
std::string InitSchema(pg_conn* conn, const std::string& collectorRole = {});

// InitSchema over a connection of its own.
std::string InitDatabase(const std::string& conninfo, const std::string& collectorRole = {});

// What is wrong with the schema of the database, when it can be reached; not
// a right that the collector's role lacks, which the service waits for.
std::optional<std::string> WrongSchema(const std::string& conninfo);

// Throws SchemaMismatch unless the schema has kSchemaVersion: none, an older
// or a later one is named, with what to do; StoreError when the role may not
// see it.
void CheckSchema(pg_conn* conn);

}  // namespace zelvar
