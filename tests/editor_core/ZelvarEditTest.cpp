#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "EditTool.h"
#include "ToolRun.h"

namespace fs = std::filesystem;

namespace {

using zelvar::test::ToolRun;
constexpr auto readFile = zelvar::test::ReadFile;
constexpr auto quoted = zelvar::test::ShellQuoted;

fs::path dataDir() { return fs::path(ZELVAR_TEST_DATA); }

class ZelvarEditTool : public ::testing::Test {
protected:
    void SetUp() override { scratch = zelvar::test::TestScratchDir("zelvar-edit"); }
    void TearDown() override { fs::remove_all(scratch); }

    // args go to the shell as they are, so a test can redirect stdin;
    // stdoutTo redirects stdout instead of the capture.
    ToolRun run(const std::string& args, const std::string& stdoutTo = "") {
        return zelvar::test::RunInShell(quoted(ZELVAR_EDIT_BIN) + " " + args, scratch, stdoutTo);
    }

    fs::path scratch;
};

std::string sample(const char* name) { return quoted((dataDir() / name).string()); }

}  // namespace

// Each command over one sample of every line form the editor meets, beside
// the exact output it must give. The expected files were checked line by
// line by hand; after a deliberate change of output, rewrite them with
// `zelvar-edit COMMAND edit-sample.hex >edit-sample.COMMAND.expected.txt`
// and review the diff.
TEST_F(ZelvarEditTool, SamplesGiveTheirExpectedOutput) {
    const struct {
        std::string args;
        const char* expected;
    } cases[] = {
        {"strip-stamps", "edit-sample.strip-stamps.expected.txt"},
        {"spaces", "edit-sample.spaces.expected.txt"},
        {"divide", "edit-sample.divide.expected.txt"},
        {"hex-to-byte", "edit-sample.hex-to-byte.expected.txt"},
        {"byte-to-hex", "edit-sample.byte-to-hex.expected.txt"},
        {"min16", "edit-sample.min16.expected.txt"},
        {"mask", "edit-sample.mask.expected.txt"},
        {"packets-0b-05", "edit-sample.packets-0b-05.expected.txt"},
        {"short", "edit-sample.short.expected.txt"},
        {"sort-ports", "edit-sample.sort-ports.expected.txt"},
        {"mask --byte=a5 --type 2bz", "edit-sample.mask-a5-2bz.expected.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const ToolRun r = run(c.args + " " + sample("edit-sample.hex"));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, readFile(dataDir() / c.expected));
        EXPECT_EQ(r.err, "");
    }
    const ToolRun crlf = run("packets-0b-05 --crlf <" + sample("edit-sample.hex"));
    EXPECT_EQ(crlf.out, readFile(dataDir() / "edit-sample.packets-0b-05.crlf.expected.txt"));
    // A pipe is held whole rather than read twice.
    const ToolRun piped = zelvar::test::RunInShell(
        "cat " + sample("edit-sample.hex") + " | " + quoted(ZELVAR_EDIT_BIN) + " sort-ports", scratch);
    EXPECT_EQ(piped.out, readFile(dataDir() / "edit-sample.sort-ports.expected.txt"));
}

// Input that is not UTF-8 counts a character per byte and passes through
// byte for byte.
TEST_F(ZelvarEditTool, SingleByteTextCountsBytes) {
    const ToolRun min16 = run("min16 " + sample("edit-single-byte.txt"));
    EXPECT_EQ(min16.out, readFile(dataDir() / "edit-single-byte.min16.expected.txt"));
    const ToolRun same = run("strip-stamps - <" + sample("edit-single-byte.txt"));
    EXPECT_EQ(same.out, readFile(dataDir() / "edit-single-byte.txt"));
}

TEST_F(ZelvarEditTool, EmptyInputGivesNothing) {
    const ToolRun r = run("spaces </dev/null");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
}

TEST_F(ZelvarEditTool, FailuresNameTheirCauseAndPrintNothing) {
    const std::string log = sample("edit-sample.hex");
    const std::string missing = (scratch / "missing.hex").string();
    const struct {
        std::string args;
        std::string named;
    } cases[] = {
        {"spaces " + quoted(missing), missing},
        {"spaces " + quoted(scratch.string()), scratch.string()},
        {"spaces ''", "FILE ''"},
        {"", "missing COMMAND"},
        {"sideways " + log, "sideways"},
        {"spaces " + log + " " + log, "only one FILE"},
        {"spaces --frobnicate " + log, "--frobnicate"},
        {"mask " + log + " --byte", "--byte"},
        {"spaces --type 0B " + log, "--type"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const ToolRun r = run(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    }
    for (const char* byte : {"--byte x", "--byte=", "--byte 'ы'"}) {
        SCOPED_TRACE(byte);
        const ToolRun r = run(std::string("mask ") + byte + " " + log);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "'' is not a valid integer value\n");
    }
}

// Output written over the input (read-write, appended, input on stdin) is
// refused before anything is read or written.
TEST_F(ZelvarEditTool, OutputIntoTheInputIsRefused) {
    const fs::path file = scratch / "a.hex";
    fs::copy_file(dataDir() / "edit-sample.hex", file);
    const std::string original = readFile(file), name = quoted(file.string());
    const std::pair<std::string, std::string> cases[] = {
        {"spaces " + name, "1<>" + name}, {"spaces " + name, ">>" + name}, {"spaces <" + name, ">>" + name}};
    for (const auto& [args, stdoutTo] : cases) {
        SCOPED_TRACE(args + " " + stdoutTo);
        const ToolRun r = run(args, stdoutTo);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("input file itself"), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
        EXPECT_EQ(readFile(file), original);
    }
}

// Endless input and input over the limit are refused with one line; below
// it, memory does not grow with the number of lines. A named device is
// refused before it is read; endless standard input is refused at the limit
// without holding more than it; a line too long to handle in bounded memory
// is refused by its number before anything is written.
TEST_F(ZelvarEditTool, InputLimitAndMemory) {
#ifndef ZELVAR_SANITIZE
    // First: the children's peak counts every run so far.
    const fs::path blank = scratch / "blank.hex";
    {
        std::ofstream out(blank, std::ios::binary);
        const std::string block(1 << 20, '\n');
        for (int i = 0; i < 40; ++i) out << block;
    }
    for (const char* command : {"spaces", "sort-ports"}) {
        const ToolRun r = run(std::string(command) + " " + quoted(blank.string()), ">/dev/null");
        EXPECT_EQ(r.status, 0) << r.err;
    }
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    EXPECT_LT(children.ru_maxrss, 32 * 1024) << "peak KiB";
#endif
    const fs::path huge = scratch / "huge.hex";
    std::ofstream(huge) << "";
    fs::resize_file(huge, (std::size_t{256} << 20) + 1);
    for (const std::string& command :
         {"yes 1 | " + quoted(ZELVAR_EDIT_BIN) + " sort-ports",
          quoted(ZELVAR_EDIT_BIN) + " divide " + quoted(huge.string())}) {
        SCOPED_TRACE(command);
        const ToolRun r = zelvar::test::RunInShell(command, scratch);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("256 MiB"), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    }
#ifndef ZELVAR_SANITIZE
    getrusage(RUSAGE_CHILDREN, &children);
    EXPECT_LT(children.ru_maxrss, 300 * 1000) << "peak KiB";
#endif

    const fs::path longLine = scratch / "long.hex";
    std::ofstream(longLine, std::ios::binary)
        << "1$1145A3B29\t00 0B\r\n\r" << std::string((1 << 20) + 1, 'A') << "\r\n";
    const std::pair<std::string, std::string> refused[] = {
        {"spaces /dev/zero", "not a regular file"},
        {"spaces /dev/null", "not a regular file"},
        {"sort-ports </dev/zero", "line 1 is longer than 1 MiB"},
        {"spaces " + quoted(longLine.string()), "line 3 is longer than 1 MiB"},
        {"sort-ports <" + quoted(longLine.string()), "line 3 is longer than 1 MiB"},
        {"divide - <" + quoted(longLine.string()), "line 3 is longer than 1 MiB"}};
    for (const auto& [args, reason] : refused) {
        SCOPED_TRACE(args);
        const ToolRun r = run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.out.empty()) << r.out.size() << " bytes written";
        EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    }
}

// The fields hold two characters, upper case; a letter cut off is one of
// the characters counted.
TEST(EditFieldText, CutsToTwoCharactersAndUpperCases) {
    EXPECT_EQ(zelvar::FieldText("0bz"), "0B");
    EXPECT_EQ(zelvar::FieldText("ы5"), "ы5");
    EXPECT_EQ(zelvar::FieldText("123"), "12");
    EXPECT_EQ(zelvar::FieldText(""), "");
}

// The input is read in blocks: a character cut at any block end is judged as
// the whole text would be.
TEST(EditUtf8Check, JudgesPiecesAsTheWholeText) {
    for (const std::string text : {"a\xD1\x8B\xE2\x82\xAC\xF0\x9F\x98\x80z", "\xD1", "ab\xE2\x82",
                                   "\xED\xA0\x80", "\xF0\x9F\x98\x80\x80", "\xC0\xAF"}) {
        for (std::size_t piece = 1; piece <= text.size(); ++piece) {
            SCOPED_TRACE(::testing::Message() << text.size() << " bytes in pieces of " << piece);
            zelvar::Utf8Check check;
            for (std::size_t at = 0; at < text.size(); at += piece) {
                check.add(std::string_view(text).substr(at, piece));
            }
            EXPECT_EQ(check.valid(), zelvar::IsValidUtf8(text));
        }
    }
}
