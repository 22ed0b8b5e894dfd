#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "FolderEdges.h"

namespace zelvar::layers {
namespace {

std::string readFile(const char* path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

EdgeTable realTable() {
    std::vector<std::string> problems;
    EdgeTable table = EdgeTable::parse(readFile(ZELVAR_EDGE_TABLE), problems);
    EXPECT_TRUE(problems.empty());
    return table;
}

// The problems `after` has that `before` has not.
std::vector<std::string> added(const std::vector<std::string>& before,
                               const std::vector<std::string>& after) {
    std::vector<std::string> out;
    for (const std::string& problem : after) {
        if (std::find(before.begin(), before.end(), problem) == before.end()) out.push_back(problem);
    }
    return out;
}

bool mentions(const std::vector<std::string>& problems, const std::string& text) {
    return std::any_of(problems.begin(), problems.end(),
                       [&](const std::string& p) { return p.find(text) != std::string::npos; });
}

TEST(FolderEdgesTest, plantedLinksEachWayFail) {
    const EdgeTable table = realTable();
    BuildTargets targets = BuildTargets::parse(readFile(ZELVAR_BUILD_TARGETS));
    ASSERT_TRUE(targets.folderOf.contains("decoder"));
    const auto before = CheckLinks(table, targets);
    // Targets and libraries that the core-only builds have as well.
    targets.links.emplace_back("decoder", "$<BUILD_INTERFACE:live_logs>");
    targets.links.emplace_back("coverage", "$<LINK_ONLY:$<$<CONFIG:Debug>:busy_runs>>");
    targets.links.emplace_back("coverage", "Qt6::Core");
    targets.links.emplace_back("busy_runs", "zelvar_mian");
    targets.links.emplace_back("line_store", "pthread");
    targets.links.emplace_back("decoder", "$<INSTALL_INTERFACE:zelvar_main>");
    targets.folderOf.emplace("stray", "nowhere");
    const auto planted = added(before, CheckLinks(table, targets));
    EXPECT_EQ(planted.size(), 6u);
    EXPECT_TRUE(mentions(planted, "decoder (decoder) -> live_logs (logs)"));
    EXPECT_TRUE(mentions(planted, "coverage (coverage) -> busy_runs (runs)"));
    EXPECT_TRUE(mentions(planted, "coverage (coverage) -> Qt6::Core: a library the table"));
    EXPECT_TRUE(mentions(planted, "busy_runs (runs) -> zelvar_mian: no target"));
    EXPECT_TRUE(mentions(planted, "line_store (logs) -> pthread: no target"));
    EXPECT_TRUE(mentions(planted, "target stray in nowhere"));
}

TEST(FolderEdgesTest, plantedIncludesFail) {
    const std::vector<std::string> headers = {"main/ZelvarMain.h", "runs/BusyRuns.h",
                                              "decoder/LineList.h", "settings/Settings.h"};
    const std::vector<SourceFile> files = {
        {"decoder/Planted.h", "#pragma once\n#include \"ZelvarMain.h\"\n"},
        {"decoder/Planted.cpp",
         "#include \"LineList.h\"\n  #  include \"../runs/BusyRuns.h\"\n#include \"Settings.h\"\n"
         "#include \"Unknown.h\"\n#include <QWidget>\n"},
        {"main/Fine.cpp", "#include \"BusyRuns.h\"\n"}};
    const auto problems = CheckIncludes(realTable(), headers, files);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_TRUE(mentions(problems, "decoder/Planted.h:2: \"ZelvarMain.h\" (main)"));
    EXPECT_TRUE(mentions(problems, "decoder/Planted.cpp:2: \"../runs/BusyRuns.h\" (runs)"));
}

TEST(FolderEdgesTest, aTableThatRunsUpOrNamesNoFolderFails) {
    std::string text = readFile(ZELVAR_EDGE_TABLE);
    text += "extra -> settngs | -\n";
    std::vector<std::string> problems;
    EdgeTable table = EdgeTable::parse(text, problems);
    EXPECT_TRUE(mentions(problems, "extra uses settngs, which has no row"));
    EXPECT_TRUE(table.cycles().empty());
    table.folders.at("settings").uses.insert("main");
    const auto cycles = table.cycles();
    EXPECT_NE(std::find(cycles.begin(), cycles.end(), "settings"), cycles.end());
    EXPECT_NE(std::find(cycles.begin(), cycles.end(), "decoder"), cycles.end());
}

}  // namespace
}  // namespace zelvar::layers
