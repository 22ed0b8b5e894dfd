// zelvar-edit as a whole process: "packets-0b-05" over a generated
// 1,000,000-line hex log file, and "spaces" and "sort-ports" over 200 MB of
// blank lines, output to a file; wall time of the process, start-up, reading
// and writing included, its own processor time and its peak memory.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "GeneratedLog.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kLines = 1'000'000;
constexpr std::size_t kBlankMegabytes = 200;

double ms(const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_usec) / 1000.0;
}

// Runs zelvar-edit with `command` over `input` once per iteration.
void runTool(benchmark::State& state, const char* command, const std::string& input,
             const fs::path& folder) {
    const std::string out = (folder / "out.txt").string();
    char* const argv[] = {const_cast<char*>(ZELVAR_EDIT_BIN), const_cast<char*>(command),
                          const_cast<char*>(input.c_str()), nullptr};
    double cpuMs = 0;
    double peakMb = 0;
    for (auto _ : state) {
        // fork, not posix_spawn: a child that shares this process's memory
        // until exec would be charged this process's peak as its own.
        const pid_t pid = fork();
        if (pid == 0) {
            const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd < 0 || dup2(fd, 1) < 0) _exit(127);
            execv(ZELVAR_EDIT_BIN, argv);
            _exit(127);
        }
        int status = -1;
        rusage usage{};
        if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            state.SkipWithError("zelvar-edit failed");
        }
        cpuMs += ms(usage.ru_utime) + ms(usage.ru_stime);
        peakMb = std::max(peakMb, static_cast<double>(usage.ru_maxrss) / 1024.0);
    }
    // On a shared machine the wall time waits for a core; the process's own
    // user and system time is what it costs.
    state.counters["process_cpu_ms"] = cpuMs / static_cast<double>(state.iterations());
    state.counters["peak_rss_MB"] = peakMb;
    state.counters["input_MB"] = static_cast<double>(fs::file_size(input)) / 1e6;
    state.counters["output_MB"] = static_cast<double>(fs::file_size(out)) / 1e6;
}

fs::path scratchFolder(const char* name) {
    const fs::path folder =
        fs::temp_directory_path() / (std::string(name) + "-" + std::to_string(getpid()));
    fs::create_directories(folder);
    return folder;
}

void ZelvarEditPackets(benchmark::State& state) {
    const fs::path folder = scratchFolder("bench-zelvar-edit");
    const std::string log = (folder / "log.hex").string();
    std::ofstream(log, std::ios::binary) << zelvar::bench::GenerateHexLog(kLines);
    runTool(state, "packets-0b-05", log, folder);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kLines));
    fs::remove_all(folder);
}

// Blank lines cost the most per input byte when lines are held.
void ZelvarEditBlankLines(benchmark::State& state, const char* command) {
    const fs::path folder = scratchFolder("bench-zelvar-edit-blank");
    const std::string log = (folder / "blank.hex").string();
    {
        std::ofstream out(log, std::ios::binary);
        const std::string block(1'000'000, '\n');
        for (std::size_t i = 0; i < kBlankMegabytes; ++i) out << block;
    }
    runTool(state, command, log, folder);
    fs::remove_all(folder);
}

}  // namespace

BENCHMARK(ZelvarEditPackets)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)
    ->Repetitions(5)->ReportAggregatesOnly(false);
BENCHMARK_CAPTURE(ZelvarEditBlankLines, spaces, "spaces")->Unit(benchmark::kMillisecond)
    ->UseRealTime()->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(false);
BENCHMARK_CAPTURE(ZelvarEditBlankLines, sort_ports, "sort-ports")->Unit(benchmark::kMillisecond)
    ->UseRealTime()->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(false);

BENCHMARK_MAIN();
