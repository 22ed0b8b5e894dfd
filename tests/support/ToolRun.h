#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace zelvar::test {

// What a command-line tool left behind: its exit status and both streams.
struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::string ShellQuoted(const std::string& s) {
    std::string quoted(1, '\'');
    quoted.append(s).push_back('\'');
    return quoted;
}

// A fresh folder of the running test's own; the caller removes it.
inline std::filesystem::path TestScratchDir(const std::string& prefix) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        (prefix + "-" + std::to_string(::getpid()) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    return dir;
}

// Runs `command` in the shell, its stderr into `scratch`/stderr and its
// stdout into `scratch`/stdout, or where `stdoutTo` redirects it.
inline ToolRun RunInShell(const std::string& command, const std::filesystem::path& scratch,
                          const std::string& stdoutTo = "") {
    const std::filesystem::path out = scratch / "stdout", err = scratch / "stderr";
    std::ofstream(out) << "";
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) of
    // "literal" + std::string.
    std::string line = command;
    line.append(" ");
    if (stdoutTo.empty()) {
        line.append(">").append(ShellQuoted(out.string()));
    } else {
        line.append(stdoutTo);
    }
    line.append(" 2>").append(ShellQuoted(err.string()));
    const int raw = std::system(line.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(out), ReadFile(err)};
}

}  // namespace zelvar::test
