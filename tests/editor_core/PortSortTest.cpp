#include <gtest/gtest.h>

#include <string>

#include "PortSort.h"

using zelvar::LineList;

TEST(PortSort, GroupsByPortKeepingTheOrderWithinEach) {
    const struct {
        const char* text;
        const char* sorted;
    } cases[] = {
        {"2a\n1a\n3a\nx\n1b\n", "1a\n1b\n2a\n3a\n"},
        {"4z\n\n3y\r\n2x\r1w\n0v\n5u\n 1t\n", "1w\n2x\n3y\n4z\n"},
        {"x\n\ny\n", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(zelvar::SortByPorts(LineList::fromText(c.text)).text(), c.sorted);
    }
}

// The sort leaves nothing for "Return to the Old Values..." to bring back.
TEST(PortSort, CommandShowsTheSortedLinesAndEmptiesWorkLines) {
    struct Shown : zelvar::TransformOutput {
        void clearText() override { text = "(cleared)"; }
        void showLines(const LineList& lines) override { text += lines.text(); }
        std::string text;
    } output;
    LineList workLines = LineList::fromText("old\n");
    EXPECT_FALSE(zelvar::SortDatabyPorts("", workLines, output));
    EXPECT_EQ(workLines.text(), "old\n");
    EXPECT_EQ(output.text, "");
    EXPECT_TRUE(zelvar::SortDatabyPorts("2b\r\nx\r\n1a", workLines, output));
    EXPECT_EQ(output.text, "(cleared)1a\n2b\n");
    EXPECT_TRUE(workLines.empty());
}
