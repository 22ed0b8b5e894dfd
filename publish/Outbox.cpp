#include "Outbox.h"

#include <sqlite3.h>

#include "MqttTopics.h"

namespace zelvar {

namespace {

// An emptied outbox larger than this gives its space back.
constexpr sqlite3_int64 kShrinkBytes = 1'000'000;

// Resets a statement for its next use however the current one ends.
struct Reset {
    sqlite3_stmt* statement;
    ~Reset() {
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
    }
};

std::string_view columnText(sqlite3_stmt* statement, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return text == nullptr ? std::string_view()
                           : std::string_view(text, static_cast<std::size_t>(
                                                        sqlite3_column_bytes(statement, column)));
}

}  // namespace

Outbox::Outbox(const std::string& path, std::uint64_t limitBytes) : limit_(limitBytes) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        std::string message = "cannot open the outbox " + path + ": ";
        message.append(db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory");
        sqlite3_close(db_);
        throw OutboxError(message);
    }
    try {
        // Another program on the same outbox waits its turn instead of failing.
        sqlite3_busy_timeout(db_, 5000);
        exec("PRAGMA journal_mode=WAL");
        // A committed package survives a crash of the program; after a power
        // loss the last moments may be gone, as with the journal's segments.
        exec("PRAGMA synchronous=NORMAL");
        // The write-ahead log goes back to this size after each checkpoint
        // rather than keeping the largest it ever had.
        exec("PRAGMA journal_size_limit=1000000");
        exec("CREATE TABLE IF NOT EXISTS outbox (id INTEGER PRIMARY KEY, source TEXT NOT NULL, "
             "first INTEGER NOT NULL, count INTEGER NOT NULL, body BLOB NOT NULL)");
        insert_ = prepare("INSERT INTO outbox (id, source, first, count, body) VALUES (?, ?, ?, ?, ?)");
        ack_ = prepare("DELETE FROM outbox WHERE source = ? AND first + count - 1 <= ? "
                       "RETURNING count, length(body)");
        after_ = prepare("SELECT id, source, first, count, body FROM outbox WHERE id > ? ORDER BY id LIMIT ?");
        held_ = prepare("SELECT min(first), max(first + count - 1) FROM outbox WHERE source = ?");
        size_ = prepare("SELECT page_count * page_size FROM pragma_page_count, pragma_page_size");
        oldest_ = prepare("DELETE FROM outbox WHERE id IN (SELECT id FROM outbox ORDER BY id LIMIT ?) "
                          "RETURNING count, length(body)");
        sqlite3_stmt* totals = prepare("SELECT count(*), coalesce(sum(count), 0), coalesce(sum(length(body)), 0), "
                                       "coalesce(max(id), 0) FROM outbox");
        if (sqlite3_step(totals) == SQLITE_ROW) {
            rows_ = static_cast<std::uint64_t>(sqlite3_column_int64(totals, 0));
            count_ = static_cast<std::uint64_t>(sqlite3_column_int64(totals, 1));
            bytes_ = static_cast<std::uint64_t>(sqlite3_column_int64(totals, 2)) + rows_ * kRowCost;
            lastId_ = sqlite3_column_int64(totals, 3);
        }
        sqlite3_finalize(totals);
        exec("CREATE TABLE IF NOT EXISTS station (instance TEXT NOT NULL)");
        exec(("INSERT INTO station SELECT '" + RandomId() + "' WHERE NOT EXISTS (SELECT * FROM station)").c_str());
        sqlite3_stmt* instance = prepare("SELECT instance FROM station");
        if (sqlite3_step(instance) == SQLITE_ROW) instance_ = columnText(instance, 0);
        sqlite3_finalize(instance);
    } catch (...) {
        this->~Outbox();
        throw;
    }
}

Outbox::~Outbox() {
    for (sqlite3_stmt* statement : {insert_, ack_, after_, held_, oldest_, size_}) {
        sqlite3_finalize(statement);
    }
    insert_ = ack_ = after_ = held_ = oldest_ = size_ = nullptr;
    sqlite3_close(db_);
    db_ = nullptr;
}

void Outbox::fail(std::string_view what) {
    std::string message("outbox: ");
    message.append(what).append(": ").append(sqlite3_errmsg(db_));
    throw OutboxError(message);
}

void Outbox::exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail(sql);
}

sqlite3_stmt* Outbox::prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK) {
        fail(sql);
    }
    return statement;
}

void Outbox::append(const std::vector<OutboxEntry>& entries) {
    if (entries.empty()) return;
    exec("BEGIN");
    // SQLite would give the first run after an emptied table the id 1 again,
    // behind what the publisher has already sent: ids given here only grow.
    std::int64_t id = lastId_;
    try {
        for (const OutboxEntry& entry : entries) {
            const Reset reset{insert_};
            sqlite3_bind_int64(insert_, 1, ++id);
            sqlite3_bind_text(insert_, 2, entry.source.data(), static_cast<int>(entry.source.size()),
                              SQLITE_STATIC);
            sqlite3_bind_int64(insert_, 3, static_cast<sqlite3_int64>(entry.firstSeq));
            sqlite3_bind_int64(insert_, 4, static_cast<sqlite3_int64>(entry.count));
            sqlite3_bind_blob(insert_, 5, entry.body.data(), static_cast<int>(entry.body.size()),
                              SQLITE_STATIC);
            if (sqlite3_step(insert_) != SQLITE_DONE) fail("cannot store a package");
        }
        exec("COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    lastId_ = id;
    for (const OutboxEntry& entry : entries) {
        bytes_ += entry.body.size() + kRowCost;
        count_ += entry.count;
        ++rows_;
    }
    trim();
}

void Outbox::trim() {
    while (bytes_ > limit_ && rows_ > 0) {
        // As many of the oldest runs at a time as the excess suggests.
        const std::uint64_t over = bytes_ - limit_;
        const std::uint64_t average = bytes_ / rows_ + 1;
        const Reset reset{oldest_};
        sqlite3_bind_int64(oldest_, 1, static_cast<sqlite3_int64>(over / average + 1));
        int step;
        while ((step = sqlite3_step(oldest_)) == SQLITE_ROW) {
            removed(oldest_);
            dropped_ += static_cast<std::uint64_t>(sqlite3_column_int64(oldest_, 0));
        }
        if (step != SQLITE_DONE) fail("cannot drop the oldest packages");
    }
}

std::uint64_t Outbox::removed(sqlite3_stmt* row) {
    const auto packages = static_cast<std::uint64_t>(sqlite3_column_int64(row, 0));
    bytes_ -= static_cast<std::uint64_t>(sqlite3_column_int64(row, 1)) + kRowCost;
    count_ -= packages;
    --rows_;
    return packages;
}

std::uint64_t Outbox::acknowledge(std::string_view source, std::uint64_t seq) {
    const Reset reset{ack_};
    sqlite3_bind_text(ack_, 1, source.data(), static_cast<int>(source.size()), SQLITE_STATIC);
    sqlite3_bind_int64(ack_, 2, static_cast<sqlite3_int64>(seq));
    std::uint64_t packages = 0;
    int step;
    while ((step = sqlite3_step(ack_)) == SQLITE_ROW) packages += removed(ack_);
    if (step != SQLITE_DONE) fail("cannot remove acknowledged packages");
    if (packages > 0 && rows_ == 0) shrinkWhenEmpty();
    return packages;
}

void Outbox::shrinkWhenEmpty() {
    {
        const Reset reset{size_};
        if (sqlite3_step(size_) != SQLITE_ROW || sqlite3_column_int64(size_, 0) < kShrinkBytes) return;
    }
    // Each step is a transaction of SQLite's own: killed meanwhile, the
    // outbox is as it was, empty. It holds nothing, so that the rewrite
    // costs little. Not done while another program reads the outbox; the
    // next emptying tries again.
    if (sqlite3_exec(db_, "VACUUM", nullptr, nullptr, nullptr) == SQLITE_OK) {
        sqlite3_exec(db_, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    }
}

std::vector<OutboxEntry> Outbox::after(std::int64_t after, std::size_t count) {
    std::vector<OutboxEntry> entries;
    const Reset reset{after_};
    sqlite3_bind_int64(after_, 1, after);
    sqlite3_bind_int64(after_, 2, static_cast<sqlite3_int64>(count));
    int step;
    while ((step = sqlite3_step(after_)) == SQLITE_ROW) {
        OutboxEntry& entry = entries.emplace_back();
        entry.id = sqlite3_column_int64(after_, 0);
        entry.source = columnText(after_, 1);
        entry.firstSeq = static_cast<std::uint64_t>(sqlite3_column_int64(after_, 2));
        entry.count = static_cast<std::uint64_t>(sqlite3_column_int64(after_, 3));
        const auto* body = static_cast<const char*>(sqlite3_column_blob(after_, 4));
        entry.body.assign(body == nullptr ? "" : body,
                          static_cast<std::size_t>(sqlite3_column_bytes(after_, 4)));
    }
    if (step != SQLITE_DONE) fail("cannot read packages");
    return entries;
}

std::optional<HeldSeqs> Outbox::held(std::string_view source) {
    const Reset reset{held_};
    sqlite3_bind_text(held_, 1, source.data(), static_cast<int>(source.size()), SQLITE_STATIC);
    if (sqlite3_step(held_) != SQLITE_ROW || sqlite3_column_type(held_, 0) == SQLITE_NULL) {
        return std::nullopt;
    }
    return HeldSeqs{static_cast<std::uint64_t>(sqlite3_column_int64(held_, 0)),
                    static_cast<std::uint64_t>(sqlite3_column_int64(held_, 1))};
}

}  // namespace zelvar
