#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "DecodeCommand.h"

namespace fs = std::filesystem;

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

fs::path dataDir() { return fs::path(ZELVAR_TEST_DATA); }

std::string shellQuoted(const std::string& s) { return "'" + s + "'"; }

class ZelvarDecodeTool : public ::testing::Test {
protected:
    void SetUp() override {
        scratch = fs::temp_directory_path() /
                  ("zelvar-decode-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(scratch / "config");
        emptySettings = (scratch / "empty.ini").string();
        std::ofstream(emptySettings) << "";
    }
    void TearDown() override { fs::remove_all(scratch); }

    // Runs the tool with a private settings folder, so that the user's store
    // is never read.
    ToolRun run(const std::string& args) {
        const fs::path out = scratch / "stdout", err = scratch / "stderr";
        const std::string command = "XDG_CONFIG_HOME=" + shellQuoted((scratch / "config").string()) +
                                    " " + shellQuoted(ZELVAR_DECODE_BIN) + " " + args + " >" +
                                    shellQuoted(out.string()) + " 2>" + shellQuoted(err.string());
        const int raw = std::system(command.c_str());
        ToolRun result;
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        result.out = readFile(out);
        result.err = readFile(err);
        return result;
    }
    std::string lastLine(const std::string& text) {
        std::string trimmed = text.substr(0, text.find_last_not_of('\n') + 1);
        return trimmed.substr(trimmed.find_last_of('\n') + 1);
    }

    fs::path scratch;
    std::string emptySettings;
};

}  // namespace

// Each sample log beside the exact text and hex log the tool must produce; a
// log of stamped lines only comes back byte for byte.
TEST_F(ZelvarDecodeTool, SampleLogsDecodeToTheirExpectedOutput) {
    struct Sample {
        const char* log;
        const char* settings;
        const char* expectedText;
        const char* expectedHex;
        const char* counts;
    };
    const Sample samples[] = {
        {"traffic.hex", nullptr, "traffic.expected.txt", "traffic.expected.hex", " T 11 / H 30"},
        {"traffic.hex", "no-filter.ini", "traffic.no-filter.expected.txt", "traffic.expected.hex",
         " T 19 / H 30"},
        {"reports.hex", "only-rssi.ini", "reports.only-rssi.expected.txt",
         "reports.hex", " T 12 / H 16"},
    };
    for (const Sample& s : samples) {
        SCOPED_TRACE(s.expectedText);
        const std::string settings =
            s.settings != nullptr ? (dataDir() / s.settings).string() : emptySettings;
        const fs::path hexOut = scratch / "out.hex";
        const ToolRun r = run("--settings " + shellQuoted(settings) + " --hex-out " +
                          shellQuoted(hexOut.string()) + " " + shellQuoted((dataDir() / s.log).string()));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, readFile(dataDir() / s.expectedText));
        EXPECT_EQ(readFile(hexOut), readFile(dataDir() / s.expectedHex));
        EXPECT_EQ(lastLine(r.err), s.counts);
    }
}

TEST_F(ZelvarDecodeTool, TitleNamesTheFileWithoutItsFolder) {
    const fs::path log = scratch / "one line.hex";
    std::ofstream(log) << "1$F4BEE070\t00 01 02\n";
    const ToolRun r = run("--settings " + shellQuoted(emptySettings) + " " + shellQuoted(log.string()));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "File: one line.hex\n" + std::string(
                         "Type  \tPort\tTime               \tCall   \tGroup   \tID      \tClr\t"
                         "Enc\tPTT\tdBm\nEnd\n"));
    EXPECT_EQ(r.err, " T 0 / H 1\n");
}

TEST_F(ZelvarDecodeTool, UsesTheUserStoreWithoutSettingsOption) {
    fs::create_directories(scratch / "config" / "Kavren");
    std::ofstream(scratch / "config" / "Kavren" / "Zelvar.conf") << "[General]\nOnlyRSSI=1\n";
    const ToolRun r = run(shellQuoted((dataDir() / "reports.hex").string()));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Port\tTime                 \tdBm\n"), std::string::npos);
}

TEST_F(ZelvarDecodeTool, EmptyLogDecodesNothing) {
    const fs::path log = scratch / "empty.hex";
    std::ofstream(log) << "";
    const ToolRun r = run("--settings " + shellQuoted(emptySettings) + " " + shellQuoted(log.string()));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, " T 0 / H 0\n");
}

TEST_F(ZelvarDecodeTool, FailuresNameTheirCauseAndPrintNothing) {
    const std::string log = shellQuoted((dataDir() / "traffic.hex").string());
    const std::string missing = (scratch / "missing.hex").string();
    const struct {
        std::string args;
        std::string named;
    } cases[] = {
        {"--settings " + shellQuoted(emptySettings) + " " + shellQuoted(missing), missing},
        {"--settings " + shellQuoted(emptySettings) + " " + shellQuoted(scratch.string()), scratch.string()},
        {"--settings " + shellQuoted((scratch / "nope.ini").string()) + " " + log, "nope.ini"},
        {"--frobnicate " + log, "--frobnicate"},
        {"--settings", "--settings"},
        {"", "LOGFILE"},
        {log + " " + log, "only one LOGFILE"},
        {"--settings " + shellQuoted(emptySettings) + " --hex-out " +
             shellQuoted((scratch / "no-such-dir" / "x.hex").string()) + " " + log,
         "x.hex"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const ToolRun r = run(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    }
}

TEST(DecodeOptions, AcceptsBothOptionForms) {
    zelvar::DecodeOptions options;
    std::string error;
    ASSERT_TRUE(zelvar::ParseDecodeOptions({"--settings=a.ini", "--hex-out", "b.hex", "log"},
                                           options, error));
    EXPECT_EQ(options.settingsFile, "a.ini");
    EXPECT_EQ(options.hexOutFile, "b.hex");
    EXPECT_EQ(options.logFile, "log");
    zelvar::DecodeOptions dashed;
    ASSERT_TRUE(zelvar::ParseDecodeOptions({"--", "-odd-name.hex"}, dashed, error));
    EXPECT_EQ(dashed.logFile, "-odd-name.hex");
    zelvar::DecodeOptions help;
    EXPECT_TRUE(zelvar::ParseDecodeOptions({"--help"}, help, error));
    EXPECT_TRUE(help.help);
}
