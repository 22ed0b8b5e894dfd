#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Outbox.h"
#include "ToolRun.h"

namespace fs = std::filesystem;

namespace {

zelvar::OutboxEntry entry(std::uint64_t seq, std::size_t size, const std::string& source = "run") {
    return {0, source, seq, std::string(size, 'x')};
}

TEST(Outbox, KeepsPackagesUntilConfirmedAcrossRunsAndDropsTheOldestWhenFull) {
    const fs::path scratch = zelvar::test::TestScratchDir("zelvar-outbox");
    const std::string path = (scratch / "outbox.sqlite").string();
    const std::uint64_t cost = 100 + zelvar::Outbox::kRowCost;
    {
        zelvar::Outbox outbox(path, 10 * cost);
        std::vector<zelvar::OutboxEntry> batch;
        for (std::uint64_t seq = 1; seq <= 14; ++seq) batch.push_back(entry(seq, 100));
        outbox.append(batch);
        EXPECT_EQ(outbox.count(), 10u);
        EXPECT_EQ(outbox.dropped(), 4u);
        EXPECT_EQ(outbox.lowestSeq("run"), 5u);
        outbox.append({entry(1, 100, "other")});
        EXPECT_EQ(outbox.dropped(), 5u);
        EXPECT_EQ(outbox.acknowledge("run", 7), 2u);
        EXPECT_EQ(outbox.count(), 8u);
    }
    // A new run takes over what the last one held, in the order of receipt.
    zelvar::Outbox reopened(path, 10 * cost);
    EXPECT_EQ(reopened.count(), 8u);
    EXPECT_EQ(reopened.bytes(), 8 * cost);
    const auto held = reopened.after(0, 100);
    ASSERT_EQ(held.size(), 8u);
    EXPECT_EQ(held.front().seq, 8u);
    EXPECT_EQ(held.back().source, "other");
    EXPECT_EQ(reopened.after(held[2].id, 2).front().seq, 11u);
    EXPECT_FALSE(reopened.lowestSeq("gone"));
    fs::remove_all(scratch);
}

}  // namespace
