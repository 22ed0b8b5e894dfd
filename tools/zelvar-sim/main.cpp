// zelvar-sim: plays the transceivers on the loopback net (see --help).

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "HexLogLine.h"
#include "PackageSource.h"
#include "ReadWholeFile.h"
#include "SimLoop.h"
#include "SimOptions.h"

namespace {

using namespace zelvar::sim;

std::unique_ptr<PackageSource> openLog(const SimOptions& options) {
    std::string text;
    try {
        text = zelvar::ReadFileOrFifo(options.logFile);
    } catch (const zelvar::WholeFileError& error) {
        std::cerr << "zelvar-sim: cannot read " << options.logFile << ": " << error.what()
                  << std::endl;
        return nullptr;
    }
    HexLog log = parseHexLog(text, options.transceivers);
    if (log.skippedLines > 0) {
        std::cerr << "zelvar-sim: " << options.logFile << ": " << log.skippedLines
                  << " line(s) without a package for transceivers 1-" << options.transceivers
                  << " skipped" << std::endl;
    }
    if (log.packages.empty()) {
        std::cerr << "zelvar-sim: " << options.logFile << " holds no packages" << std::endl;
    }
    LogPacing pacing;
    pacing.ratePerSecond = options.ratePerSecond;
    pacing.speed = options.speed;
    pacing.maxGapSeconds = options.maxGapSeconds;
    pacing.loop = options.loop;
    return std::make_unique<LogReplay>(std::move(log.packages), pacing);
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const ParseOutcome parsed = parseArguments(arguments);
    if (!parsed.error.empty()) {
        std::cerr << "zelvar-sim: " << parsed.error << std::endl;
        return parsed.exitCode;
    }
    const SimOptions& options = parsed.options;
    if (options.help) {
        std::cout << helpText();
        return 0;
    }

    std::unique_ptr<PackageSource> source;
    if (options.source == SimOptions::Source::Log) {
        source = openLog(options);
        if (!source) return 1;
    } else {
        source = std::make_unique<GeneratedTraffic>(
            options.seed, options.transceivers,
            options.ratePerSecond.value_or(kDefaultGeneratorRate));
    }
    std::optional<std::int64_t> durationNs;
    if (options.durationSeconds) {
        durationNs = static_cast<std::int64_t>(*options.durationSeconds * 1e9);
    }
    source = std::make_unique<LimitedSource>(std::move(source), options.count, durationNs);
    return runSimulator(options, std::move(source));
}
