#include <gtest/gtest.h>

#include "LogFormat.h"
#include "MonitorRules.h"
#include "Settings.h"

namespace zelvar {
namespace {

TEST(TypeSummary, DefaultFlagsListSixteenTypesInDialogOrderEachFollowedByABlank) {
    const Settings defaults;
    EXPECT_EQ(TypeSummaryText(defaults.typeFlags, false, false, false),
              " Type: 03 05 07 08 09 0B 0D 11 24 44 6C 8C B4 EC F4 FC ");
}

TEST(TypeSummary, TypeTenStandsBetween09And0B) {
    Settings s;
    s.setTypeFlag("10", true);
    EXPECT_EQ(TypeSummaryText(s.typeFlags, false, false, false),
              " Type: 03 05 07 08 09 10 0B 0D 11 24 44 6C 8C B4 EC F4 FC ");
}

TEST(TypeSummary, DisplayModeAndEmptySelection) {
    Settings s;
    EXPECT_EQ(TypeSummaryText(s.typeFlags, true, false, false), " Display Only RSSI");
    // GPS and RSSI wins only while a session runs with the GPS port open.
    EXPECT_EQ(TypeSummaryText(s.typeFlags, true, true, false), " Display Only RSSI");
    EXPECT_EQ(TypeSummaryText(s.typeFlags, true, false, true), " Display Only RSSI");
    EXPECT_EQ(TypeSummaryText(s.typeFlags, true, true, true), " GPS + RSSI");
    EXPECT_EQ(TypeSummaryText(s.typeFlags, false, true, true).substr(0, 10), " Type: 03 ");

    s.typeFlags.fill(false);
    EXPECT_EQ(TypeSummaryText(s.typeFlags, false, false, false), " Not selected type of package");
    EXPECT_EQ(TypeSummaryText(s.typeFlags, true, false, false), " Not selected type of package");
    EXPECT_EQ(TypeSummaryText(s.typeFlags, true, true, true), " GPS + RSSI");
}

TEST(AutoSaveStatus, AllCombinations) {
    EXPECT_EQ(AutoSaveStatusText(true, false, true, true), " Auto Save 65 535 Text + Hex");
    EXPECT_EQ(AutoSaveStatusText(true, false, true, false), " Auto Save 65 535 Text");
    EXPECT_EQ(AutoSaveStatusText(true, false, false, true), " Auto Save Text + Hex");
    EXPECT_EQ(AutoSaveStatusText(true, false, false, false), " Auto Save Text");
    EXPECT_EQ(AutoSaveStatusText(false, false, true, true), " Auto Save Disabled");
    EXPECT_EQ(AutoSaveStatusText(true, true, true, true), " Auto Save Disabled");
}

TEST(AutoSave, DueOnlyWithNewDataAndNoEditor) {
    EXPECT_TRUE(AutoSaveDue(true, false, false));
    EXPECT_FALSE(AutoSaveDue(true, false, true));
    EXPECT_FALSE(AutoSaveDue(true, true, false));
    EXPECT_FALSE(AutoSaveDue(false, false, false));
}

TEST(Rollover, HexLogOnCountsPackagesOffCountsTextLines) {
    EXPECT_EQ(DecideRollover(true, true, false, true, 0, 65535), Rollover::None);
    EXPECT_EQ(DecideRollover(true, true, false, true, 0, 65536), Rollover::TextAndHex);
    EXPECT_EQ(DecideRollover(true, true, false, true, 70000, 10), Rollover::None);
    EXPECT_EQ(DecideRollover(true, true, false, false, 65535, 900000), Rollover::None);
    EXPECT_EQ(DecideRollover(true, true, false, false, 65536, 0), Rollover::TextOnly);
}

TEST(Rollover, NeedsAutoSaveNewFileAndNoEditor) {
    EXPECT_EQ(DecideRollover(false, true, false, true, 0, 70000), Rollover::None);
    EXPECT_EQ(DecideRollover(true, false, false, true, 0, 70000), Rollover::None);
    EXPECT_EQ(DecideRollover(true, true, true, true, 0, 70000), Rollover::None);
}

TEST(Headers, ModeHeaderAndExactMatch) {
    EXPECT_EQ(ModeHeader(false, true), TextHeader);
    EXPECT_EQ(ModeHeader(true, true), GpsHeader);
    EXPECT_EQ(ModeHeader(true, false), RssiHeader);
    EXPECT_TRUE(IsHeaderLine(RssiHeader));
    // Blanks matter: a line that differs only in them is data.
    EXPECT_FALSE(IsHeaderLine("Port\tTime                \tdBm"));
    EXPECT_FALSE(IsHeaderLine(std::string(TextHeader) + " "));
    EXPECT_FALSE(IsHeaderLine(""));
}

TEST(Headers, TrailingHeaderIsReplacedWhileMonitoring) {
    const HeaderEdit edit = DecideHeaderEdit(TextHeader, "Stop", true, RssiHeader);
    EXPECT_TRUE(edit.removeLast);
    EXPECT_EQ(edit.append, RssiHeader);
}

TEST(Headers, SameModeTwiceKeepsOneHeader) {
    const HeaderEdit edit = DecideHeaderEdit(TextHeader, "", true, TextHeader);
    EXPECT_TRUE(edit.removeLast);
    EXPECT_EQ(edit.append, TextHeader);
}

TEST(Headers, AfterDataLinesTheNewHeaderIsAppended) {
    const HeaderEdit edit =
        DecideHeaderEdit("03\t1\t...", std::string(TextHeader), true, RssiHeader);
    EXPECT_FALSE(edit.removeLast);
    EXPECT_EQ(edit.append, RssiHeader);
}

TEST(Headers, HeaderAboveRemovedHeaderStopsTheRefresh) {
    const HeaderEdit edit = DecideHeaderEdit(RssiHeader, std::string(TextHeader), true, GpsHeader);
    EXPECT_TRUE(edit.removeLast);
    EXPECT_TRUE(edit.append.empty());
}

TEST(Headers, OutsideMonitoringTheLogIsNeverChanged) {
    for (std::string_view last : {std::string_view(""), std::string_view("Stop"), TextHeader}) {
        const HeaderEdit edit = DecideHeaderEdit(last, "", false, RssiHeader);
        EXPECT_FALSE(edit.removeLast);
        EXPECT_TRUE(edit.append.empty());
    }
}

TEST(Headers, EmptyLogGetsTheHeaderWhileMonitoring) {
    const HeaderEdit edit = DecideHeaderEdit("", "", true, TextHeader);
    EXPECT_FALSE(edit.removeLast);
    EXPECT_EQ(edit.append, TextHeader);
}

}  // namespace
}  // namespace zelvar
