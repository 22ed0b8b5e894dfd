#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "ToolRun.h"

namespace fs = std::filesystem;

namespace {

using zelvar::test::ReadFile;
using zelvar::test::ShellQuoted;
using zelvar::test::ToolRun;

const std::string kLog = std::string(ZELVAR_TEST_DATA) + "/drive-test.txt";

class ZelvarCoverageTest : public ::testing::Test {
protected:
    void SetUp() override { scratch_ = zelvar::test::TestScratchDir("zelvar-coverage"); }
    void TearDown() override { fs::remove_all(scratch_); }

    ToolRun run(const std::string& arguments, const std::string& stdoutTo = "") {
        return zelvar::test::RunInShell(std::string(ZELVAR_COVERAGE_BIN) + " " + arguments,
                                        scratch_, stdoutTo);
    }
    std::string path(const std::string& name) const { return (scratch_ / name).string(); }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(scratch_ / name, std::ios::binary) << text;
    }

    fs::path scratch_;
};

TEST_F(ZelvarCoverageTest, TakesTheTimeZoneFromTheSettingsAndTheLogsInOrder) {
    write("zone.ini", "[General]\nGMTCorrection=-3\n");
    write("second.txt",
          "3\t10.12.2026 23:00:00\t3351.4073,S\t15112.9500,W\t1.0\t-70\n");
    const ToolRun csv = run("--format=csv --settings " + ShellQuoted(path("zone.ini")) + " " +
                            ShellQuoted(kLog) + " " + ShellQuoted(path("second.txt")));
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_TRUE(csv.out.starts_with("port,time,lat,lon,pdop,dbm,dbm_value\r\n"
                                    "1,2026-12-09T04:58:11Z,55.668723,37.609463,1.8,-67,-67\r\n"))
        << csv.out;
    EXPECT_TRUE(csv.out.ends_with("1,2026-12-09T04:58:23Z,55.669825,37.610980,3.1,-113,-113\r\n"
                                  "3,2026-12-10T02:00:00Z,-33.856788,-151.215833,1.0,-70,-70\r\n"))
        << csv.out;
    EXPECT_EQ(csv.err, "10 reports with position (10 kept), 1 without, 0 unreadable lines\n");

    // The same bytes into a file, filtered, with the correction given.
    const ToolRun file = run("--format csv --port 2 --min-dbm -90 --gmt-correction 4 --output " +
                             ShellQuoted(path("out.csv")) + " " + ShellQuoted(kLog));
    ASSERT_EQ(file.status, 0) << file.err;
    EXPECT_EQ(ReadFile(path("out.csv")),
              "port,time,lat,lon,pdop,dbm,dbm_value\r\n2,2026-12-09T21:58:12Z,55.668835,37.609650,1.8,-78,-78\r\n");
    EXPECT_EQ(file.out, "");
}

TEST_F(ZelvarCoverageTest, RefusesWithOneLineAndLeavesFilesAlone) {
    write("out.kml", "older map");
    const std::string out = ShellQuoted(path("out.kml"));
    for (const std::string& bad :
         {std::string("--format shp ") + ShellQuoted(kLog), "--port 5 " + ShellQuoted(kLog),
          "--gmt-correction 4 --settings x.ini " + ShellQuoted(kLog), std::string("--min-dbm"),
          std::string("--gmt-correction 4"),
          "--gmt-correction 4 --output " + out + " " + ShellQuoted(kLog) + " " +
              ShellQuoted(path("missing.txt")),
          "--gmt-correction 4 --output " + ShellQuoted(kLog) + " " + ShellQuoted(kLog)}) {
        const ToolRun refused = run(bad);
        EXPECT_EQ(refused.status, 2) << bad;
        EXPECT_TRUE(refused.err.starts_with("zelvar-coverage: ")) << refused.err;
        EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
        EXPECT_EQ(refused.out, "") << bad;
    }
    EXPECT_EQ(ReadFile(path("out.kml")), "older map");
    EXPECT_EQ(ReadFile(kLog).substr(0, 4), "Port");
    // Only once written whole does the map take the older one's place.
    const ToolRun written = run("--gmt-correction 4 --output " + out + " " + ShellQuoted(kLog));
    ASSERT_EQ(written.status, 0) << written.err;
    EXPECT_TRUE(ReadFile(path("out.kml")).ends_with("</Document>\n</kml>\n"));
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch_), fs::directory_iterator()), 3);
}

}  // namespace
