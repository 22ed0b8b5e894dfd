// The offline decoding run on a generated 1,000,000-line hex log: read the
// file's lines, parse, decode, format both lines and collect them (File >
// Decode), or hand them on as they come (zelvar-decode). Reports lines per
// second and the memory the run took beside its output.
#include <benchmark/benchmark.h>
#include <sys/mman.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>
#include <string>

#include "GeneratedLog.h"
#include "OfflineDecoder.h"
#include "PackageDecoder.h"

namespace {

// Resident-set high-water mark of this process, in bytes.
std::size_t peakRss() {
    std::ifstream status("/proc/self/status");
    std::string key;
    std::size_t kb = 0;
    while (status >> key) {
        if (key == "VmHWM:") {
            status >> kb;
            break;
        }
    }
    return kb * 1024;
}

void resetPeakRss() { std::ofstream("/proc/self/clear_refs") << "5"; }

class SizeOutput : public zelvar::DecoderOutput {
public:
    void showDecodedLines(const zelvar::LineList& text, const zelvar::LineList& hex) override {
        outputBytes += text.text().size() + hex.text().size();
        textLines += text.size();
    }
    std::size_t outputBytes = 0;
    std::size_t textLines = 0;
};

// The generated log as an open file in memory, read like a file on disk.
class LogFile {
public:
    explicit LogFile(std::size_t lines) : fd_(memfd_create("bench.hex", MFD_CLOEXEC)) {
        const std::string log = zelvar::bench::GenerateHexLog(lines);
        size_ = log.size();
        if (fd_ < 0 || write(fd_, log.data(), log.size()) != static_cast<ssize_t>(log.size())) {
            throw std::runtime_error("cannot write the generated log");
        }
    }
    ~LogFile() { close(fd_); }
    int rewound() const {
        lseek(fd_, 0, SEEK_SET);
        return fd_;
    }
    std::size_t size() const { return size_; }

private:
    int fd_;
    std::size_t size_ = 0;
};

void OfflineDecodeRun(benchmark::State& state, bool streamed) {
    const auto lines = static_cast<std::size_t>(state.range(0));
    const LogFile log(lines);
    zelvar::Settings settings;
    zelvar::DisplayMirrors mirrors;
    zelvar::GpsState gps;
    SizeOutput output;
    double memoryRatio = 0;
    for (auto _ : state) {
        output = SizeOutput();
        resetPeakRss();
        const std::size_t before = peakRss();
        zelvar::PackageDecoder decoder(settings, mirrors, gps, output);
        zelvar::OfflineDecoder offline(decoder, mirrors);
        zelvar::LogLineReader reader(log.rewound());
        decoder.ResetPortState();
        if (streamed) {
            offline.DecodeLogStream("File: bench.hex", reader);
        } else {
            offline.reserveInput(log.size() + 1);
            std::string_view line;
            while (reader.next(line)) offline.appendInput(line);
            offline.DecodeLogLines("File: bench.hex");
        }
        memoryRatio = static_cast<double>(peakRss() - before) /
                      static_cast<double>(output.outputBytes);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lines));
    state.counters["output_MB"] = static_cast<double>(output.outputBytes) / 1e6;
    state.counters["text_lines"] = static_cast<double>(output.textLines);
    state.counters["peak_mem_per_output"] = memoryRatio;
}

}  // namespace

BENCHMARK_CAPTURE(OfflineDecodeRun, collected, false)->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(false);
BENCHMARK_CAPTURE(OfflineDecodeRun, streamed, true)->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(false);

BENCHMARK_MAIN();
