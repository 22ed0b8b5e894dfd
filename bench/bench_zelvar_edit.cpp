// zelvar-edit as a whole process: "packets-0b-05" over a generated
// 1,000,000-line hex log file, output to a file; wall time of the process,
// start-up, reading and writing included.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "GeneratedLog.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kLines = 1'000'000;

// User and system time of the waited-for children so far, in milliseconds.
double childCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_usec) / 1000.0;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

void ZelvarEditPackets(benchmark::State& state) {
    const fs::path folder = fs::temp_directory_path() / ("bench-zelvar-edit-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::string log = (folder / "log.hex").string();
    const std::string out = (folder / "out.txt").string();
    std::ofstream(log, std::ios::binary) << zelvar::bench::GenerateHexLog(kLines);

    char* const argv[] = {const_cast<char*>(ZELVAR_EDIT_BIN), const_cast<char*>("packets-0b-05"),
                          const_cast<char*>(log.c_str()), nullptr};
    double cpuMs = 0;
    for (auto _ : state) {
        const double before = childCpuMs();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = 0;
        int status = -1;
        if (posix_spawn(&pid, ZELVAR_EDIT_BIN, &actions, nullptr, argv, environ) != 0 ||
            waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("zelvar-edit failed");
        }
        posix_spawn_file_actions_destroy(&actions);
        cpuMs += childCpuMs() - before;
    }
    // On a shared machine the wall time waits for a core; the process's own
    // user and system time is what it costs.
    state.counters["process_cpu_ms"] = cpuMs / static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kLines));
    state.counters["input_MB"] = static_cast<double>(fs::file_size(log)) / 1e6;
    state.counters["output_MB"] = static_cast<double>(fs::file_size(out)) / 1e6;
    fs::remove_all(folder);
}

}  // namespace

BENCHMARK(ZelvarEditPackets)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)
    ->Repetitions(5)->ReportAggregatesOnly(false);

BENCHMARK_MAIN();
