#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

#include "DecodeCommand.h"
#include "ToolRun.h"
#include "OfflineDecoder.h"

namespace fs = std::filesystem;

namespace {

using zelvar::test::ToolRun;
constexpr auto readFile = zelvar::test::ReadFile;
constexpr auto shellQuoted = zelvar::test::ShellQuoted;

fs::path dataDir() { return fs::path(ZELVAR_TEST_DATA); }

// A log with every form of line the offline run meets, under every line end,
// long enough for the tool to write its output in several portions.
std::string everyLineForm() {
    std::uint32_t seed = 7;
    auto random = [&seed](std::uint32_t below) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % below;
    };
    auto hexText = [&](std::size_t n, std::uint8_t type) {
        static constexpr char digits[] = "0123456789ABCDEF";
        std::string out;
        for (std::size_t i = 0; i < n; ++i) {
            std::uint8_t b = 0;
            if (i == 4) b = type;
            if (i == 11) b = 0x5A;                                  // signal level
            if (i == 15) b = static_cast<std::uint8_t>(1 + random(3));  // group
            if (i == 18) b = 0xF4;                                  // id
            if (i == 28) b = 0x11;                                  // colour code, PTT
            if (!out.empty()) out += ' ';
            out += digits[b >> 4];
            out += digits[b & 15];
        }
        return out;
    };
    const std::uint8_t types[] = {0x03, 0x05, 0x0F, 0x11, 0x77};
    const char* ends[] = {"\r\n", "\n", "\r"};
    std::string log;
    for (int i = 0; i < 8000; ++i) {
        const std::uint8_t type = types[random(5)];
        const std::size_t n = type == 0x0F ? 13 : 30 + random(34);
        switch (random(10)) {
            case 0: log += "1$F4BEE07" + std::to_string(random(10)) + "\t" + hexText(n, type); break;
            case 1: log += "2$1145A3B2" + std::to_string(random(10)) + "\t" + hexText(n, type); break;
            case 2: log += hexText(n, type); break;  // bare
            case 3: break;                           // blank
            case 4: log += "5$F4BEE070\t" + hexText(n, type); break;
            case 5: log += "3$F4BEE070\t" + hexText(64, type); break;
            case 6: {
                std::string lower = "4$F4BEE070\t" + hexText(n, type);
                std::transform(lower.begin() + 11, lower.end(), lower.begin() + 11,
                               [](char c) { return static_cast<char>(std::tolower(c)); });
                log += lower;
                break;
            }
            case 7: log += "3#F4BEE071\t" + hexText(n, type) + " "; break;
            default: log += "4$1145A3B28\t" + hexText(n, type); break;
        }
        log += ends[random(3)];
    }
    return log + "1$F4BEE070\t" + hexText(30, 0x03);  // the last line has no line end
}

// What File > Decode makes of the same text, split as a whole.
struct WholeFileRun : zelvar::DecoderOutput {
    WholeFileRun(const std::string& log, std::string_view title,
                 std::size_t handOnBytes = std::numeric_limits<std::size_t>::max()) {
        zelvar::PackageDecoder decoder(settings, mirrors, gps, *this);
        zelvar::OfflineDecoder offline(decoder, mirrors);
        const zelvar::LineList lines = zelvar::LineList::fromText(log);
        for (std::size_t i = 0; i < lines.size(); ++i) offline.appendInput(lines[i]);
        decoder.ResetPortState();
        offline.DecodeLogLines(title, handOnBytes);
    }
    void showDecodedLines(const zelvar::LineList& t, const zelvar::LineList& h) override {
        text += t.text();
        for (std::size_t i = 0; i < h.size(); ++i) (hex += h[i]) += "\r\n";
    }
    void setCountsText(std::string_view t) override { counts = t; }

    zelvar::Settings settings;
    zelvar::DisplayMirrors mirrors;
    zelvar::GpsState gps;
    std::string text, hex, counts;
};

class ZelvarDecodeTool : public ::testing::Test {
protected:
    void SetUp() override {
        scratch = zelvar::test::TestScratchDir("zelvar-decode");
        fs::create_directories(scratch / "config");
        emptySettings = (scratch / "empty.ini").string();
        std::ofstream(emptySettings) << "";
    }
    void TearDown() override { fs::remove_all(scratch); }

    // Runs the tool in the scratch folder with a private settings folder, so
    // that the user's store is never read; stdout goes to a file unless
    // `stdoutTo` redirects it elsewhere; `before` runs first in the same shell.
    ToolRun run(const std::string& args, const std::string& stdoutTo = "",
                const std::string& before = "") {
        return zelvar::test::RunInShell(
            "cd " + shellQuoted(scratch.string()) + " && " + before + "XDG_CONFIG_HOME=" +
                shellQuoted((scratch / "config").string()) + " " + shellQuoted(ZELVAR_DECODE_BIN) +
                " " + args,
            scratch, stdoutTo);
    }
    std::string withEmptySettings(const std::string& args) {
        return "--settings " + shellQuoted(emptySettings) + " " + args;
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

// The JSON form of the same logs: one object per package, the hex output
// and the counts as the text run gives them; the zone is fixed because the
// times carry its offset.
TEST_F(ZelvarDecodeTool, JsonFormOfTheSampleLogs) {
    struct Sample {
        const char* log;
        const char* settings;
        const char* expected;
        const char* counts;
    };
    const Sample samples[] = {
        {"traffic.hex", nullptr, "traffic.expected.json", " T 11 / H 30"},
        {"reports.hex", "only-rssi.ini", "reports.only-rssi.expected.json", " T 12 / H 16"},
    };
    for (const Sample& s : samples) {
        SCOPED_TRACE(s.expected);
        const std::string settings =
            s.settings != nullptr ? (dataDir() / s.settings).string() : emptySettings;
        const fs::path hexOut = scratch / "out.hex";
        const ToolRun r = run("--settings " + shellQuoted(settings) + " --json --station=alpha" +
                                  " --hex-out " + shellQuoted(hexOut.string()) + " " +
                                  shellQuoted((dataDir() / s.log).string()),
                              "", "TZ=Europe/Berlin ");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, readFile(dataDir() / s.expected));
        EXPECT_EQ(lastLine(r.err), s.counts);
        if (s.settings == nullptr) {
            EXPECT_EQ(readFile(hexOut), readFile(dataDir() / "traffic.expected.hex"));
        }
    }

    // The station defaults to the host name; a name unfit for a topic is refused.
    char host[256] = {};
    ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
    const ToolRun named = run(withEmptySettings("--json " + shellQuoted((dataDir() / "traffic.hex").string())));
    EXPECT_EQ(named.out.rfind("{\"station\":\"" + std::string(host) + "\",", 0), 0u) << named.out;
    for (const char* args : {"--json --station a/b", "--json --station ''", "--station x"}) {
        const ToolRun refused = run(withEmptySettings(std::string(args) + " traffic.hex"));
        EXPECT_EQ(refused.status, 2) << args;
        EXPECT_TRUE(refused.out.empty());
    }
}

TEST_F(ZelvarDecodeTool, StreamedOutputEqualsTheWholeFileRun) {
    const std::string log = everyLineForm();
    std::ofstream(scratch / "forms.hex", std::ios::binary) << log;
    const WholeFileRun whole(log, "File: forms.hex");
    ASSERT_GT(whole.text.size() + whole.hex.size(), 600'000u);  // three portions or more
    const WholeFileRun portions(log, "File: forms.hex", 64 * 1024);  // as the main window decodes
    EXPECT_TRUE(portions.text == whole.text && portions.hex == whole.hex);
    const ToolRun r = run(withEmptySettings("--hex-out out.hex forms.hex"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == whole.text);
    EXPECT_TRUE(readFile(scratch / "out.hex") == whole.hex);
    EXPECT_EQ(lastLine(r.err), whole.counts);
}

TEST_F(ZelvarDecodeTool, MemoryStaysBoundedOnAHugeLog) {
#ifdef ZELVAR_SANITIZE
    GTEST_SKIP() << "the sanitizers' own memory would be measured";
#endif
    // 200 MB of blank lines took 2.8 GB when the whole log was held.
    {
        std::ofstream log(scratch / "blank.hex", std::ios::binary);
        std::string block;
        for (int i = 0; i < (1 << 19); ++i) block += "\r\n";
        for (int i = 0; i < 200; ++i) log << block;
    }
    const ToolRun r = run(withEmptySettings("--hex-out /dev/null blank.hex"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, " T 0 / H 0\n");
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    EXPECT_LT(children.ru_maxrss, 64 * 1024) << "peak KiB";
}

// A line of 64 MiB between two copies of a log is skipped in constant
// memory and counted; the rest decodes as the two copies alone.
TEST_F(ZelvarDecodeTool, OverlongLineIsSkippedAndCounted) {
#ifdef ZELVAR_SANITIZE
    GTEST_SKIP() << "the sanitizers' own memory would be measured";
#endif
    const std::string traffic = readFile(dataDir() / "traffic.hex");
    fs::create_directories(scratch / "long");
    std::ofstream(scratch / "log.hex", std::ios::binary) << traffic << traffic;
    const fs::path longLog = scratch / "long" / "log.hex";
    std::ofstream(longLog, std::ios::binary) << traffic;
    fs::resize_file(longLog, traffic.size() + (std::size_t{64} << 20));  // NULs, no line end
    std::ofstream(longLog, std::ios::binary | std::ios::app) << "\r\n" << traffic;

    const ToolRun plain = run(withEmptySettings("log.hex"));
    const ToolRun r = run(withEmptySettings("long/log.hex"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == plain.out);
    EXPECT_EQ(r.err, "zelvar-decode: 1 line longer than 1 MiB skipped\n" + plain.err);
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    EXPECT_LT(children.ru_maxrss, 64 * 1024) << "peak KiB";
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

// The log named as its own output by any of its names, or stdout appending to
// it: refused before anything is written, the log untouched.
TEST_F(ZelvarDecodeTool, OutputIntoTheLogItselfIsRefused) {
    const fs::path log = scratch / "self.hex";
    fs::copy_file(dataDir() / "traffic.hex", log);
    const std::string original = readFile(log);
    fs::create_hard_link(log, scratch / "hard.hex");
    fs::create_symlink(log, scratch / "soft.hex");
    const struct {
        std::string args;
        std::string stdoutTo;
    } cases[] = {
        {"--hex-out self.hex self.hex", ""},
        {"--hex-out ./self.hex self.hex", ""},
        {"--hex-out hard.hex self.hex", ""},
        {"--hex-out soft.hex " + shellQuoted(log.string()), ""},
        {"self.hex", ">>self.hex"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args + " " + c.stdoutTo);
        const ToolRun r = run(withEmptySettings(c.args), c.stdoutTo);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("log file itself"), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
        EXPECT_EQ(readFile(log), original);
    }
}

// The settings file is an input as well: neither output may replace it.
TEST_F(ZelvarDecodeTool, OutputIntoTheSettingsFileIsRefused) {
    const std::string original = "[General]\nOnlyRSSI=1\n";
    std::ofstream(scratch / "s.ini") << original;
    const std::string log = shellQuoted((dataDir() / "traffic.hex").string());
    for (const std::string& stdoutTo : {std::string(">/dev/null"), std::string(">>s.ini")}) {
        const std::string hexOut = stdoutTo == ">/dev/null" ? "--hex-out s.ini " : "";
        SCOPED_TRACE(hexOut + stdoutTo);
        const ToolRun r = run("--settings s.ini " + hexOut + log, stdoutTo);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("settings file itself"), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
        EXPECT_EQ(readFile(scratch / "s.ini"), original);
    }
}

TEST_F(ZelvarDecodeTool, EveryWriteFailureEndsWithAMessage) {
    const std::string log = shellQuoted((dataDir() / "traffic.hex").string());
    const struct {
        std::string args;
        std::string stdoutTo;
        std::string named;
    } cases[] = {
        {log, ">/dev/full", "cannot write to stdout"},
        {log, ">&-", "cannot write to stdout"},
        {"--hex-out /dev/full " + log, "", "/dev/full"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args + " " + c.stdoutTo);
        const ToolRun r = run(withEmptySettings(c.args), c.stdoutTo);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    }
}

// A pipe named by /dev/stdout or /dev/fd/N is written as it is; a FIFO as
// LOGFILE is refused without waiting for a writer; an empty name is no file.
TEST_F(ZelvarDecodeTool, HexOutIntoPipesAndOddNames) {
    const std::string log = shellQuoted((dataDir() / "traffic.hex").string());
    const std::string expectedHex = readFile(dataDir() / "traffic.expected.hex");
    const ToolRun both = run(withEmptySettings("--hex-out /dev/stdout " + log) + " 2>tool.err",
                             "| cat >both.txt");
    EXPECT_EQ(readFile(scratch / "both.txt"),
              readFile(dataDir() / "traffic.expected.txt") + expectedHex) << readFile(scratch / "tool.err");
    run(withEmptySettings("--hex-out /dev/fd/3 " + log) + " 2>tool.err 3>&1 >/dev/null",
        "| cat >hex.txt");
    EXPECT_EQ(readFile(scratch / "hex.txt"), expectedHex) << readFile(scratch / "tool.err");

    ASSERT_EQ(::mkfifo((scratch / "fifo.hex").c_str(), 0600), 0);
    for (const std::string& args : {std::string("fifo.hex"), "--hex-out '' " + log}) {
        SCOPED_TRACE(args);
        const ToolRun r = run(withEmptySettings(args));
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

// A failed run leaves an older hex file as it was; a complete one replaces
// it, through a symbolic link the link's target, keeping the file's mode.
TEST_F(ZelvarDecodeTool, HexOutReplacesItsFileOnlyWhenComplete) {
    const fs::path target = scratch / "kept.hex";
    std::ofstream(target) << "older\r\n";
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("kept.hex", scratch / "link.hex");
    const std::string log = shellQuoted((dataDir() / "traffic.hex").string());
    auto temporaryFiles = [&] {
        return std::count_if(fs::directory_iterator(scratch), fs::directory_iterator(),
                             [](const fs::directory_entry& entry) {
                                 return entry.path().filename().string().rfind(".zelvar", 0) == 0;
                             });
    };

    // A file size limit below the hex log's size makes the write fail.
    const ToolRun failed =
        run(withEmptySettings("--hex-out link.hex " + log), ">/dev/null", "ulimit -f 1 && ");
    EXPECT_EQ(failed.status, 2);
    EXPECT_NE(failed.err.find("link.hex"), std::string::npos) << failed.err;
    EXPECT_EQ(readFile(target), "older\r\n");
    EXPECT_EQ(temporaryFiles(), 0);

    const ToolRun ok = run(withEmptySettings("--hex-out link.hex " + log));
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_TRUE(fs::is_symlink(scratch / "link.hex"));
    EXPECT_EQ(readFile(target), readFile(dataDir() / "traffic.expected.hex"));
    EXPECT_EQ(fs::status(target).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(temporaryFiles(), 0);
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
