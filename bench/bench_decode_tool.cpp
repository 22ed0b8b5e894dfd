// zelvar-decode as a whole process, the way a user runs it: on the generated
// 1,000,000-line log (median of 5 runs, stdout and --hex-out to /dev/null) and
// on 2 GB of empty lines, with each run's wall time and the child's own peak
// resident memory (getrusage of the child).
//
//   bench_decode_tool [--lines N] [--runs N] [--empty-mb N] [--tool PATH]
//
// The logs are written to a temporary folder ($TMPDIR or /tmp) and removed.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "GeneratedLog.h"

namespace fs = std::filesystem;

namespace {

constexpr double kTargetLinesPerSecond = 2'000'000;
constexpr double kTargetPeakMb = 64;

struct Run {
    double seconds = 0;
    double cpuSeconds = 0;  // user and system: less disturbed by a busy machine
    double peakMb = 0;
    bool ok = false;
};

Run runTool(const std::string& tool, const fs::path& log, const fs::path& settings) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execl(tool.c_str(), tool.c_str(), "--settings", settings.c_str(), "--hex-out", "/dev/null",
              log.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    Run run;
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

const char* verdict(bool met) {
    return met ? "met" : "MISSED";
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t lines = 1'000'000;
    int runs = 5;
    std::size_t emptyMb = 2048;
    std::string tool = ZELVAR_DECODE_BIN;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--lines")
            lines = std::stoul(argv[i + 1]);
        else if (option == "--runs")
            runs = std::stoi(argv[i + 1]);
        else if (option == "--empty-mb")
            emptyMb = std::stoul(argv[i + 1]);
        else if (option == "--tool")
            tool = argv[i + 1];
    }

    const char* tmp = std::getenv("TMPDIR");
    std::string folder = (fs::path(tmp != nullptr ? tmp : "/tmp") / "bench-decode-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path scratch = folder;
    const fs::path settings = scratch / "empty.ini";
    std::ofstream(settings) << "";
    bool allOk = true;
    std::printf("zelvar-decode: %s\n", tool.c_str());

    {
        const fs::path log = scratch / "generated.hex";
        {
            const std::string text = zelvar::bench::GenerateHexLog(lines);
            std::ofstream(log, std::ios::binary) << text;
        }
        std::printf("generated log: %zu lines, %.1f MB; stdout and --hex-out to /dev/null\n", lines,
                    static_cast<double>(fs::file_size(log)) / 1e6);
        std::vector<double> seconds;
        std::vector<double> cpu;
        double peak = 0;
        for (int i = 0; i < runs; ++i) {
            const Run run = runTool(tool, log, settings);
            allOk = allOk && run.ok;
            seconds.push_back(run.seconds);
            cpu.push_back(run.cpuSeconds);
            peak = std::max(peak, run.peakMb);
            std::printf("  run %d: %.3f s, %.0f lines/s (cpu %.3f s), peak RSS %.1f MB%s\n", i + 1,
                        run.seconds, static_cast<double>(lines) / run.seconds, run.cpuSeconds,
                        run.peakMb, run.ok ? "" : "  (FAILED)");
        }
        std::sort(seconds.begin(), seconds.end());
        std::sort(cpu.begin(), cpu.end());
        const double median = seconds[seconds.size() / 2];
        const double rate = static_cast<double>(lines) / median;
        std::printf(
            "  median of %d: %.3f s = %.0f lines/s (target %.0f: %s); median cpu %.3f s;\n"
            "  highest peak RSS %.1f MB (target < %.0f MB: %s)\n",
            runs, median, rate, kTargetLinesPerSecond, verdict(rate >= kTargetLinesPerSecond),
            cpu[cpu.size() / 2], peak, kTargetPeakMb, verdict(peak < kTargetPeakMb));
        fs::remove(log);
    }

    if (emptyMb > 0) {
        const fs::path log = scratch / "empty-lines.hex";
        {
            const std::string block(1 << 20, '\n');
            std::string crlf;
            for (std::size_t i = 0; i < block.size() / 2; ++i) crlf += "\r\n";
            std::ofstream out(log, std::ios::binary);
            for (std::size_t i = 0; i < emptyMb; ++i) out << crlf;
        }
        std::printf("empty lines: %zu MB of CR LF (%zu lines)\n", emptyMb, emptyMb << 19);
        const Run run = runTool(tool, log, settings);
        allOk = allOk && run.ok;
        std::printf("  %.3f s (cpu %.3f s), peak RSS %.1f MB (target < %.0f MB: %s)%s\n",
                    run.seconds, run.cpuSeconds, run.peakMb, kTargetPeakMb,
                    verdict(run.peakMb < kTargetPeakMb), run.ok ? "" : "  (FAILED)");
        fs::remove(log);
    }
    fs::remove_all(scratch);
    return allOk ? 0 : 1;
}
