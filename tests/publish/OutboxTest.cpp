#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Outbox.h"
#include "ToolRun.h"

namespace fs = std::filesystem;

namespace {

// A run of `count` packages from `first`, each of `size` bytes with its LF.
zelvar::OutboxEntry run(std::uint64_t first, std::uint64_t count, const std::string& source = "run") {
    std::string body;
    for (std::uint64_t i = 0; i < count; ++i) body.append(99, 'x').push_back('\n');
    return {0, source, first, count, body};
}

TEST(Outbox, KeepsRunsUntilConfirmedAcrossProgramsAndDropsTheOldestWhenFull) {
    const fs::path scratch = zelvar::test::TestScratchDir("zelvar-outbox");
    const std::string path = (scratch / "outbox.sqlite").string();
    const std::uint64_t cost = 10 * 100 + zelvar::Outbox::kRowCost;  // a run of ten
    {
        zelvar::Outbox outbox(path, 10 * cost);
        std::vector<zelvar::OutboxEntry> batch;
        for (std::uint64_t first = 1; first <= 140; first += 10) batch.push_back(run(first, 10));
        outbox.append(batch);
        EXPECT_EQ(outbox.count(), 100u);
        EXPECT_EQ(outbox.dropped(), 40u);
        EXPECT_EQ(outbox.held("run")->lowest, 41u);
        EXPECT_EQ(outbox.held("run")->highest, 140u);
        outbox.append({run(1, 10, "other")});
        EXPECT_EQ(outbox.dropped(), 50u);
        // Only runs wholly covered go: 51..60, not 61..70.
        EXPECT_EQ(outbox.acknowledge("run", 65), 10u);
        EXPECT_EQ(outbox.count(), 90u);
    }
    // A new program takes over what the last one held, in the order of receipt.
    zelvar::Outbox reopened(path, 10 * cost);
    EXPECT_EQ(reopened.count(), 90u);
    EXPECT_EQ(reopened.bytes(), 9 * cost);
    const auto held = reopened.after(0, 100);
    ASSERT_EQ(held.size(), 9u);
    EXPECT_EQ(held.front().firstSeq, 61u);
    EXPECT_EQ(held.front().body, run(61, 10).body);
    EXPECT_EQ(held.back().source, "other");
    EXPECT_EQ(reopened.after(held[2].id, 2).front().firstSeq, 91u);
    EXPECT_FALSE(reopened.held("gone"));
    fs::remove_all(scratch);
}

// What a long outage filled goes, once all of it is confirmed, back to the
// file system: the files shrink, and the outbox holds what comes next as before.
TEST(Outbox, GivesItsSpaceBackOnceEmpty) {
    const fs::path scratch = zelvar::test::TestScratchDir("zelvar-outbox");
    const fs::path path = scratch / "outbox.sqlite";
    const auto onDisk = [&] {
        std::uintmax_t bytes = 0;
        for (const char* suffix : {"", "-wal"}) {
            std::error_code missing;
            const std::uintmax_t size = fs::file_size(path.string() + suffix, missing);
            if (!missing) bytes += size;
        }
        return bytes;
    };
    {
        zelvar::Outbox outbox(path.string(), 1'000'000'000);
        for (std::uint64_t first = 1; first <= 200'000; first += 20'000) {
            std::vector<zelvar::OutboxEntry> batch;
            for (std::uint64_t at = first; at < first + 20'000; at += 1000) batch.push_back(run(at, 1000));
            outbox.append(batch);
        }
        ASSERT_GT(onDisk(), 20'000'000u);
        EXPECT_EQ(outbox.acknowledge("run", 200'000), 200'000u);
        EXPECT_LT(onDisk(), 1'000'000u);
        outbox.append({run(200'001, 10)});
        EXPECT_EQ(outbox.count(), 10u);
    }
    zelvar::Outbox reopened(path.string(), 1'000'000'000);
    EXPECT_EQ(reopened.count(), 10u);
    EXPECT_EQ(reopened.held("run")->lowest, 200'001u);
    fs::remove_all(scratch);
}

}  // namespace
