// zelvar-collect --import as a whole process, the way a user back-fills a
// log: the generated 1,000,000-line log into an empty `packages` table (a
// schema of its own for each run), median of 5 runs, with each run's wall
// time, rows per second and the collector's own peak resident memory
// (getrusage of the child; the server's work shows in the wall time only).
//
//   bench_collect_import [--lines N] [--runs N] [--tool PATH]
//
// Needs a PostgreSQL in libpq's environment (PGHOST ...), as
// scripts/run-bench.sh provides with pg_virtualenv.
#include <libpq-fe.h>

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

constexpr double kTargetRowsPerSecond = 100'000;
constexpr double kTargetPeakMb = 128;



bool sql(PGconn* conn, const std::string& text) {
    PGresult* r = PQexec(conn, text.c_str());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    if (!ok) std::fprintf(stderr, "%s: %s", text.c_str(), PQresultErrorMessage(r));
    PQclear(r);
    return ok;
}


}  // namespace

int main(int argc, char** argv) {
    std::size_t lines = 1'000'000;
    int runs = 5;
    std::string tool = ZELVAR_COLLECT_BIN;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--lines")
            lines = std::stoul(argv[i + 1]);
        else if (option == "--runs")
            runs = std::stoi(argv[i + 1]);
        else if (option == "--tool")
            tool = argv[i + 1];
    }
    if (std::getenv("PGHOST") == nullptr) {
        std::fprintf(stderr, "no PostgreSQL in the environment: run under pg_virtualenv\n");
        return 1;
    }
    PGconn* conn = PQconnectdb("");
    if (PQstatus(conn) != CONNECTION_OK) {
        std::fprintf(stderr, "%s", PQerrorMessage(conn));
        return 1;
    }
    PQsetNoticeProcessor(conn, [](void*, const char*) {}, nullptr);

    const std::optional<fs::path> folder = ScratchFolder("bench-collect");
    if (!folder) return 1;
    const fs::path scratch = *folder;
    const fs::path settings = scratch / "empty.ini";
    std::ofstream(settings) << "";
    const fs::path log = scratch / "generated.hex";
    {
        const std::string text = zelvar::bench::GenerateHexLog(lines);
        std::ofstream(log, std::ios::binary) << text;
    }
    std::printf("zelvar-collect: %s\ngenerated log: %zu lines, %.1f MB, into an empty table\n",
                tool.c_str(), lines, static_cast<double>(fs::file_size(log)) / 1e6);

    bool allOk = true;
    std::vector<double> seconds, cpu, peaks;
    for (int i = 0; i < runs; ++i) {
        const std::string schema = "bench_import_" + std::to_string(i);
        allOk = allOk && sql(conn, "DROP SCHEMA IF EXISTS " + schema + " CASCADE") &&
                sql(conn, "CREATE SCHEMA " + schema);
        const ToolRun init = RunTool({tool, "--database", "options=-csearch_path=" + schema, "--init"});
        allOk = allOk && init.ok;
        const ToolRun run = RunTool({tool, "--database", "options=-csearch_path=" + schema, "--import",
                                 log.string(), "--station", "bench", "--settings",
                                 settings.string()},
                                /*keepStderr=*/true);
        allOk = allOk && run.ok;
        seconds.push_back(run.seconds);
        cpu.push_back(run.cpuSeconds);
        peaks.push_back(run.peakMb);
        std::printf("  run %d: %.3f s, %.0f rows/s (collector cpu %.3f s), peak RSS %.1f MB%s\n",
                    i + 1, run.seconds, static_cast<double>(lines) / run.seconds, run.cpuSeconds,
                    run.peakMb, run.ok ? "" : "  (FAILED)");
        allOk = sql(conn, "DROP SCHEMA " + schema + " CASCADE") && allOk;
    }
    std::sort(seconds.begin(), seconds.end());
    std::sort(cpu.begin(), cpu.end());
    std::sort(peaks.begin(), peaks.end());
    const double median = seconds[seconds.size() / 2];
    const double rate = static_cast<double>(lines) / median;
    const double peak = peaks[peaks.size() / 2];
    std::printf(
        "  median of %d: %.3f s = %.0f rows/s (target %.0f: %s); median collector cpu %.3f s;\n"
        "  median peak RSS %.1f MB, highest %.1f MB (target < %.0f MB: %s)\n",
        runs, median, rate, kTargetRowsPerSecond, Verdict(rate >= kTargetRowsPerSecond),
        cpu[cpu.size() / 2], peak, peaks.back(), kTargetPeakMb, Verdict(peaks.back() < kTargetPeakMb));
    fs::remove_all(scratch);
    PQfinish(conn);
    return allOk ? 0 : 1;
}
