#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace zelvar {

class OutboxError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Packages of one run that arrived one after the other, waiting together for
// the collector's acknowledgement: a row per package would cost the outbox
// more than the decoding of the package.
struct OutboxEntry {
    std::int64_t id = 0;  // the order of receipt, over all runs
    std::string source;
    std::uint64_t firstSeq = 0;  // the packages' seqs follow on from here
    std::uint64_t count = 0;
    std::string body;  // their JSON forms, each ending in LF
};

struct HeldSeqs {
    std::uint64_t lowest = 0;
    std::uint64_t highest = 0;
};

// The packages of this station that no collector has confirmed yet, in an
// SQLite database in WAL mode, in runs as they were handed over. What a
// program left behind is still there at its next start and goes out first.
// Bounded: when the bodies pass the limit the oldest runs go, and their
// packages are counted. A run goes when an acknowledgement covers all of it;
// the space of an outbox emptied after a long outage goes back to the disk.
//
// One thread only.
class Outbox {
public:
    // Opens or makes the database at `path`. Throws OutboxError.
    Outbox(const std::string& path, std::uint64_t limitBytes);
    ~Outbox();
    Outbox(const Outbox&) = delete;
    Outbox& operator=(const Outbox&) = delete;

    // Appends the runs in one transaction, then drops the oldest while over
    // the limit.
    void append(const std::vector<OutboxEntry>& entries);
    // Removes the runs of `source` that end at `seq` or before; how many
    // packages went.
    std::uint64_t acknowledge(std::string_view source, std::uint64_t seq);
    // Up to `count` runs after id `after`, oldest first.
    std::vector<OutboxEntry> after(std::int64_t after, std::size_t count);
    // The lowest and highest seq of `source` still held; nothing when none is.
    std::optional<HeldSeqs> held(std::string_view source);

    // This station's instance: drawn when the outbox is made, kept with it,
    // so that a restart is the same host and another host is another.
    const std::string& instance() const { return instance_; }
    // Packages held.
    std::uint64_t count() const { return count_; }
    std::uint64_t bytes() const { return bytes_; }
    // Packages dropped for room since the outbox was opened.
    std::uint64_t dropped() const { return dropped_; }
    void setLimit(std::uint64_t limitBytes) { limit_ = limitBytes; }

    // What a run costs against the limit besides its body: its row.
    static constexpr std::uint64_t kRowCost = 48;

private:
    void exec(const char* sql);
    sqlite3_stmt* prepare(const char* sql);
    [[noreturn]] void fail(std::string_view what);
    void trim();
    void shrinkWhenEmpty();
    // Accounts for a run that a statement removed (its count and body
    // length in the first two columns); its packages.
    std::uint64_t removed(sqlite3_stmt* row);

    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    sqlite3_stmt* ack_ = nullptr;
    sqlite3_stmt* after_ = nullptr;
    sqlite3_stmt* held_ = nullptr;
    sqlite3_stmt* oldest_ = nullptr;
    sqlite3_stmt* size_ = nullptr;  // of the database file, free pages too
    std::uint64_t limit_;
    std::uint64_t rows_ = 0;
    std::uint64_t count_ = 0;
    std::uint64_t bytes_ = 0;
    std::uint64_t dropped_ = 0;
    std::int64_t lastId_ = 0;  // the highest id given or found
    std::string instance_;
};

}  // namespace zelvar
