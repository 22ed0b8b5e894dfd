// The editor's line transforms and port sort on generated hex logs of 65,536
// and 1,000,000 lines, from the document's text to the lines the window
// shows; and a press of a find button on a 1,000,000-line document.
#include <benchmark/benchmark.h>

#include <map>
#include <string>

#include "GeneratedLog.h"
#include "PortSort.h"
#include "ProcessLines.h"
#include "TextSearch.h"

namespace {

const std::string& hexLog(std::size_t lines) {
    static std::map<std::size_t, std::string> logs;
    auto& log = logs[lines];
    if (log.empty()) log = zelvar::bench::GenerateHexLog(lines);
    return log;
}

class SizeOutput : public zelvar::TransformOutput {
public:
    void showLines(const zelvar::LineList& lines) override { shownLines = lines.size(); }
    std::size_t shownLines = 0;
};

void Transform(benchmark::State& state) {
    const auto mode = static_cast<zelvar::TransformMode>(state.range(0));
    const auto lines = static_cast<std::size_t>(state.range(1));
    const std::string& log = hexLog(lines);
    const zelvar::Transform transform = mode == zelvar::TransformMode::MaskFilter
                                            ? zelvar::MaskTransform("4", "0B")
                                            : zelvar::TransformFor(mode);
    SizeOutput output;
    zelvar::LineList workLines;
    bool stop = false;
    for (auto _ : state) {
        zelvar::ProcessLines(log, transform, workLines, stop, output);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lines));
    state.counters["shown_lines"] = static_cast<double>(output.shownLines);
}

void SortByPorts(benchmark::State& state) {
    const auto lines = static_cast<std::size_t>(state.range(0));
    const std::string& log = hexLog(lines);
    for (auto _ : state) {
        const zelvar::LineList sorted = zelvar::SortByPorts(zelvar::LineList::fromText(log));
        benchmark::DoNotOptimize(sorted.size());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lines));
}

// The document as the window holds it: UTF-16, lines joined by LF.
const std::u16string& document() {
    static const std::u16string text = [] {
        const zelvar::LineList lines = zelvar::LineList::fromText(hexLog(1'000'000));
        return std::u16string(lines.text().begin(), lines.text().end());
    }();
    return text;
}

// range(0): 0, the next occurrence a little further on; 1, forward over the
// whole document finding nothing; 2, backward over the whole document
// finding nothing.
void FindPress(benchmark::State& state) {
    const std::u16string& text = document();
    const bool nothing = state.range(0) != 0;
    const std::u16string what = nothing ? u"0B 0b 0B 0b" : u"0b 00";
    const auto direction = state.range(0) == 2 ? zelvar::SearchDirection::Backward
                                               : zelvar::SearchDirection::Forward;
    std::size_t start = direction == zelvar::SearchDirection::Forward ? 0 : text.size();
    for (auto _ : state) {
        const auto found = zelvar::FindInText(text, what, start, 0, direction);
        if (!nothing) start = found ? *found + 1 : 0;
        benchmark::DoNotOptimize(found);
    }
}

}  // namespace

BENCHMARK(Transform)
    ->ArgsProduct({{0, 1, 2, 3, 4, 5, 6, 7, 8}, {65'536, 1'000'000}})
    ->ArgNames({"mode", "lines"})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(SortByPorts)->Arg(65'536)->Arg(1'000'000)->Unit(benchmark::kMillisecond)
    ->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(FindPress)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Repetitions(5)
    ->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
