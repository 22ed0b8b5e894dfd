// zelvar-coverage as a whole process, the way a user runs it: on a generated
// drive-test log of 1,000,000 own-position lines over four ports (CR LF, as
// saved), once per format with --output to a file in the same folder; the
// median of 5 runs of each, with the wall time and the child's own peak
// resident memory (getrusage of the child).
//
//   bench_coverage_tool [--lines N] [--runs N] [--tool PATH]
//
// The files are written to a temporary folder ($TMPDIR or /tmp) and removed.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "LogFormat.h"
#include "ToolRun.h"

namespace fs = std::filesystem;
using zelvar::bench::RunTool;
using zelvar::bench::ScratchFolder;
using zelvar::bench::ToolRun;
using zelvar::bench::Verdict;

namespace {

constexpr double kTargetLinesPerSecond = 1'000'000;
constexpr double kTargetPeakMb = 64;

// A walk along a street with the level falling and rising, every form of
// the level now and then, a placeholder line now and then.
std::string driveTestLog(std::size_t lines) {
    std::string log(zelvar::GpsHeader);
    log.append("\r\n");
    char lat[16], lon[16], dbm[8], pdop[8], time[24];
    for (std::size_t i = 0; i < lines; ++i) {
        const std::size_t second = i / 4;
        std::snprintf(time, sizeof time, "09.12.2026 %02zu:%02zu:%02zu", (second / 3600) % 24,
                      (second / 60) % 60, second % 60);
        const std::string port(1, static_cast<char>('1' + i % 4));
        if (i % 97 == 0) {
            log.append(zelvar::RssiPlaceholderLine(port, time, "-90")).append("\r\n");
            continue;
        }
        std::snprintf(lat, sizeof lat, "5540.%04zu,N", i % 10000);
        std::snprintf(lon, sizeof lon, "03736.%04zu,E", (i * 7) % 10000);
        std::snprintf(pdop, sizeof pdop, "%zu.%zu", 1 + i % 3, i % 10);
        const std::size_t form = i % 50;
        if (form == 1) {
            std::snprintf(dbm, sizeof dbm, "Max");
        } else if (form == 2) {
            std::snprintf(dbm, sizeof dbm, "-");
        } else {
            std::snprintf(dbm, sizeof dbm, "-%zu", 60 + (i / 8) % 60);
        }
        log.append(zelvar::RssiOwnPositionLine(port, time, lat, lon, form == 3 ? "Err" : pdop, dbm))
            .append("\r\n");
    }
    return log;
}




}  // namespace

int main(int argc, char** argv) {
    std::size_t lines = 1'000'000;
    int runs = 5;
    std::string tool = ZELVAR_COVERAGE_BIN;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--lines")
            lines = std::stoul(argv[i + 1]);
        else if (option == "--runs")
            runs = std::stoi(argv[i + 1]);
        else if (option == "--tool")
            tool = argv[i + 1];
    }

    const std::optional<fs::path> folder = ScratchFolder("bench-coverage");
    if (!folder) return 1;
    const fs::path scratch = *folder;
    const fs::path log = scratch / "drive-test.txt";
    std::ofstream(log, std::ios::binary) << driveTestLog(lines);
    std::printf("zelvar-coverage: %s\ngenerated log: %zu lines, %.1f MB\n", tool.c_str(), lines,
                static_cast<double>(fs::file_size(log)) / 1e6);
    bool allOk = true;
    for (const char* format : {"kml", "gpx", "geojson", "csv"}) {
        const fs::path out = scratch / (std::string("map.") + format);
        std::vector<double> seconds;
        double peak = 0;
        std::uintmax_t size = 0;
        for (int i = 0; i < runs; ++i) {
            const ToolRun run = RunTool({tool, "--gmt-correction", "4", "--format", format,
                                         "--output", out.string(), log.string()});
            allOk = allOk && run.ok;
            seconds.push_back(run.seconds);
            peak = std::max(peak, run.peakMb);
            if (run.ok) size = fs::file_size(out);
            fs::remove(out);
        }
        std::sort(seconds.begin(), seconds.end());
        const double median = seconds[seconds.size() / 2];
        const double rate = static_cast<double>(lines) / median;
        std::printf(
            "%-7s median of %d: %.3f s = %.0f lines/s (target %.0f: %s); output %.1f MB;"
            " highest peak RSS %.1f MB (target < %.0f MB: %s)%s\n",
            format, runs, median, rate, kTargetLinesPerSecond,
            Verdict(rate >= kTargetLinesPerSecond), static_cast<double>(size) / 1e6, peak,
            kTargetPeakMb, Verdict(peak < kTargetPeakMb), allOk ? "" : "  (FAILED)");
    }
    fs::remove_all(scratch);
    return allOk ? 0 : 1;
}
