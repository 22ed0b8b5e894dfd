#pragma once

// A command-line tool run as a whole process, the way a user runs it, with
// its wall time, its own processor time and its own peak resident memory
// (getrusage of the child), and the scratch folder its files go to.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zelvar::bench {

struct ToolRun {
    double seconds = 0;
    double cpuSeconds = 0;  // user and system: less disturbed by a busy machine
    double peakMb = 0;
    bool ok = false;  // exit status 0
};

// Runs `args` (the program first) with stdout, and stderr unless `keepStderr`,
// sent to /dev/null.
inline ToolRun RunTool(const std::vector<std::string>& args, bool keepStderr = false) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        if (!keepStderr) dup2(null, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    ToolRun run;
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto secondsOf = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    run.cpuSeconds = secondsOf(usage.ru_utime) + secondsOf(usage.ru_stime);
    run.peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// A new folder below $TMPDIR (or /tmp) named after `name`; nothing when it
// cannot be made (the reason is printed).
inline std::optional<std::filesystem::path> ScratchFolder(const std::string& name) {
    const char* tmp = std::getenv("TMPDIR");
    std::string folder =
        (std::filesystem::path(tmp != nullptr ? tmp : "/tmp") / (name + "-XXXXXX")).string();
    if (mkdtemp(folder.data()) == nullptr) {
        std::perror("mkdtemp");
        return std::nullopt;
    }
    return std::filesystem::path(folder);
}

inline const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

}  // namespace zelvar::bench
