// zelvar-decode as a whole process, the way a user runs it: on the generated
// 1,000,000-line log (median of 5 runs, stdout and --hex-out to /dev/null) and
// on 2 GB of empty lines, with each run's wall time and the child's own peak
// resident memory (getrusage of the child).
//
//   bench_decode_tool [--lines N] [--runs N] [--empty-mb N] [--tool PATH]
//
// The logs are written to a temporary folder ($TMPDIR or /tmp) and removed.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "GeneratedLog.h"
#include "ToolRun.h"

namespace fs = std::filesystem;
using zelvar::bench::RunTool;
using zelvar::bench::ScratchFolder;
using zelvar::bench::ToolRun;
using zelvar::bench::Verdict;

namespace {

constexpr double kTargetLinesPerSecond = 2'000'000;
constexpr double kTargetPeakMb = 64;




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

    const std::optional<fs::path> folder = ScratchFolder("bench-decode");
    if (!folder) return 1;
    const fs::path scratch = *folder;
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
            const ToolRun run = RunTool(
                {tool, "--settings", settings.string(), "--hex-out", "/dev/null", log.string()});
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
            runs, median, rate, kTargetLinesPerSecond, Verdict(rate >= kTargetLinesPerSecond),
            cpu[cpu.size() / 2], peak, kTargetPeakMb, Verdict(peak < kTargetPeakMb));
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
        const ToolRun run = RunTool(
                {tool, "--settings", settings.string(), "--hex-out", "/dev/null", log.string()});
        allOk = allOk && run.ok;
        std::printf("  %.3f s (cpu %.3f s), peak RSS %.1f MB (target < %.0f MB: %s)%s\n",
                    run.seconds, run.cpuSeconds, run.peakMb, kTargetPeakMb,
                    Verdict(run.peakMb < kTargetPeakMb), run.ok ? "" : "  (FAILED)");
        fs::remove(log);
    }
    fs::remove_all(scratch);
    return allOk ? 0 : 1;
}
