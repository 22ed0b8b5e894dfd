#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "FifoRescue.h"
#include "ToolRun.h"

namespace zelvar::test {
namespace {

// Every companion that reads the user's settings store refuses one that is
// no regular file at once, naming it: a FIFO there would hold it until
// someone writes into it, and decoding on defaults would give other lines
// than the window.
TEST(ToolSettingsTest, StoreThatIsNoRegularFileIsRefused) {
    const std::filesystem::path scratch = TestScratchDir("tool-settings");
    const std::filesystem::path store = scratch / "config/Kavren/Zelvar.conf";
    std::filesystem::create_directories(store.parent_path());
    ASSERT_EQ(::mkfifo(store.c_str(), 0600), 0);
    const FifoRescue rescue(store.string());

    const std::string data = ZELVAR_TEST_DATA;
    std::vector<std::string> commands = {
        std::string(ZELVAR_DECODE_BIN) + " " + ShellQuoted(data + "/traffic.hex"),
        std::string(ZELVAR_COVERAGE_BIN) + " " + ShellQuoted(data + "/drive-test.txt")};
#ifdef ZELVAR_COLLECT_BIN
    commands.push_back(std::string(ZELVAR_COLLECT_BIN) + " --database 'host=/nonexistent' --import " +
                       ShellQuoted(data + "/traffic.hex") + " --station test");
#endif
    for (const std::string& command : commands) {
        // The bound only keeps a tool that waits on the FIFO from hanging the test.
        const ToolRun run =
            RunInShell("XDG_CONFIG_HOME=" + ShellQuoted((scratch / "config").string()) +
                           " timeout 60 " + command,
                       scratch);
        EXPECT_EQ(run.status, 2) << command;
        EXPECT_THAT(run.err, ::testing::HasSubstr(store.string() + "' is not a regular file"))
            << command;
    }
    EXPECT_EQ(rescue.rescues(), 0) << "a tool opened the FIFO";
    std::filesystem::remove_all(scratch);
}

}  // namespace
}  // namespace zelvar::test
