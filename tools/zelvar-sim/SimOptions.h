#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Loopback.h"
#include "Package.h"

namespace zelvar::sim {

struct SimOptions {
    enum class Source { Log, Generate };

    std::array<Endpoint, kMaxTransceivers> listen{};
    int transceivers = kMaxTransceivers;
    Source source = Source::Generate;
    std::string logFile;
    std::optional<double> ratePerSecond;
    double speed = 1.0;
    std::optional<double> maxGapSeconds;
    bool loop = false;
    std::optional<std::uint64_t> count;
    std::optional<double> durationSeconds;
    std::uint64_t seed = 1;
    bool dropUnregistered = false;
    std::size_t queueLimit = 100000;
    bool startNow = false;
    bool exitWhenDone = false;
    std::string sentLog;
    std::string readyFile;
    bool verbose = false;
    bool help = false;
};

inline constexpr double kDefaultGeneratorRate = 100.0;

struct ParseOutcome {
    SimOptions options;
    std::string error;  // one line, empty when the arguments are fine
    int exitCode = 0;   // 2 for a usage error or a refused address
};

// Arguments without the program name; "--name value" and "--name=value"
// both work.
ParseOutcome parseArguments(const std::vector<std::string>& arguments);

std::string helpText();

}  // namespace zelvar::sim
