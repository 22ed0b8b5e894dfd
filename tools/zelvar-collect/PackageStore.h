#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>

#include "CopyText.h"
#include "PgConnection.h"

namespace zelvar {

// Rows of `refused` whose reason starts with this were refused for their
// time: they wait for --readmit, outside the table's bound.
constexpr const char* kTimeReason = "time ";

// A failure of the database or of the connection, with its one-line message.
class StoreError : public std::runtime_error {
public:
    explicit StoreError(const std::string& message, bool refusedData = false)
        : std::runtime_error(message), refusedData_(refusedData) {}
    // The server refused the rows' values (a range, a constraint, a size),
    // with the connection still up: the same rows fail again, others may not.
    bool refusedData() const { return refusedData_; }

private:
    bool refusedData_;
};

// The table `packages` in the connection's default schema, which any number
// of collectors fill at the same time. Rows go in through COPY into a
// temporary staging table and from there by one INSERT ... SELECT ... ON
// CONFLICT DO NOTHING per batch, so a package delivered again is stored once.
// Values never enter the SQL text.
//
// Two connections take turns: while the server moves one batch into the
// table, the next one is decoded and copied over the other connection.
class PackageStore {
public:
    // Refused packages kept, the newest.
    static constexpr std::uint64_t kRefusedKept = 1'000'000;
    // Connects (an empty conninfo takes libpq's environment: PGHOST, PGPORT,
    // PGUSER, PGDATABASE ...) and checks the schema's version (see Schema.h).
    // The role needs no more than --init --collector-role grants.
    explicit PackageStore(const std::string& conninfo, std::uint64_t refusedKept = kRefusedKept);
    ~PackageStore();
    PackageStore(const PackageStore&) = delete;
    PackageStore& operator=(const PackageStore&) = delete;

    // One row in COPY text form: the columns of CopyColumns, TAB-separated,
    // ending in LF. Stored by the next flush() at the latest.
    void add(std::string_view row);
    // Stores what was added.
    void flush();
    // After a refusal of the data: forgets what was added and not stored,
    // keeping the connections. Throws when they are gone.
    void discard();
    // Rows of the table `refused` (RefusedColumns, COPY text form), stored at
    // once. Of the rows refused for their data the oldest beyond the bound go
    // (looked for after each hundredth of the bound); rows waiting for their
    // time stay.
    void refuse(std::string_view rows);
    // Stations kept in the table `stations`, those heard of last.
    static constexpr std::uint64_t kStationsKept = 10'000;
    // Notes in `stations` what stations said and when their packages came:
    // a JSON array of objects as zelvar_note_stations takes them, at most
    // one for each station. Throws StoreError, refusedData() for values the
    // server refuses.
    void noteStations(const std::string& notes);
    // Rows that were new to the table, so far.
    std::uint64_t stored() const { return stored_; }
    // After a failure: counts the batches whose storing the server confirmed
    // meanwhile on either connection, as far as they can still be read.
    void settle();
    // Rows added that are in the table, new or there before, so far.
    std::uint64_t settled() const { return settled_; }

    // The staged columns in their order.
    static const char* const CopyColumns;
    static const char* const RefusedColumns;

private:
    // One connection with its staging table.
    struct Lane {
        PgConnection conn;
        bool copying = false;
        bool inserting = false;  // a batch's INSERT is running on the server
        std::uint64_t batch = 0;  // its rows
    };

    static void connect(Lane& lane, const std::string& conninfo);
    void startCopy(Lane& lane);
    void sendCopy();
    void endCopy(Lane& lane);
    // Moves the lane's staged batch into the table, in the background.
    void startInsert(Lane& lane);
    void makeDayPartitions(Lane& lane);
    void copyRefused(Lane& lane, std::string_view rows);
    // Waits for the lane's running INSERT and counts what it stored.
    void finishInsert(Lane& lane);

    Lane lanes_[2];
    int current_ = 0;      // the lane being copied into
    std::string pending_;  // rows not yet sent
    std::uint64_t staged_ = 0;
    std::uint64_t stored_ = 0;
    std::uint64_t settled_ = 0;
    std::set<std::string> knownDays_;  // partitions this run made or found
    std::uint64_t refusedKept_;
    std::uint64_t refusedSinceBound_ = 0;
    bool bounded_ = false;  // the bound was applied since the connection was made
};

}  // namespace zelvar
