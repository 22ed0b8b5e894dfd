#include "CoverageCommand.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <ostream>
#include <system_error>

#include "Arguments.h"
#include "OutputFile.h"
#include "SameFile.h"

namespace zelvar {

namespace {

// A log file whose read failures carry its name.
class NamedLogSource : public CoverageSource {
public:
    struct ReadError {
        std::string name;
        int error;
    };

    NamedLogSource(int fd, std::string name) : name_(std::move(name)), file_(fd) {}

    void rewind() override {
        try {
            file_.rewind();
        } catch (const std::system_error& e) {
            throw ReadError{name_, e.code().value()};
        }
    }
    bool next(std::string_view& line) override {
        try {
            return file_.next(line);
        } catch (const std::system_error& e) {
            throw ReadError{name_, e.code().value()};
        }
    }
    std::size_t skippedLines() const override { return file_.skippedLines(); }

private:
    std::string name_;
    FileCoverageSource file_;
};

}  // namespace

bool ParseCoverageOptions(const std::vector<std::string>& args, CoverageCommandOptions& options,
                          std::string& error) {
    Arguments arguments(args);
    while (arguments.next()) {
        // Every option here takes a value.
        std::string value;
        auto take = [&] {
            value = arguments.value().value_or(std::string());
            if (value.empty()) error = "option " + arguments.name() + " needs a value";
            return !value.empty();
        };
        auto invalid = [&](const char* what) {
            error = "option " + arguments.name() + " needs " + what + ", not '" + value + "'";
            return false;
        };
        if (arguments.isFlag("--help") || arguments.isFlag("-h")) {
            options.help = true;
        } else if (arguments.is("--format")) {
            if (!take()) return false;
            const auto format = CoverageFormatNamed(value);
            if (!format) return invalid("kml, gpx, geojson or csv");
            options.coverage.format = *format;
        } else if (arguments.is("--port")) {
            if (!take()) return false;
            const auto port = ParseNumber<int>(value);
            if (!port || *port < 1 || *port > 4) return invalid("a port from 1 to 4");
            options.coverage.ports.push_back(*port);
        } else if (arguments.is("--min-dbm")) {
            if (!take()) return false;
            options.coverage.minDbm = ParseNumber<double>(value);
            if (!options.coverage.minDbm) return invalid("a number of dBm");
        } else if (arguments.is("--max-pdop")) {
            if (!take()) return false;
            options.coverage.maxPdop = ParseNumber<double>(value);
            if (!options.coverage.maxPdop) return invalid("a number");
        } else if (arguments.is("--gmt-correction")) {
            if (!take()) return false;
            options.gmtCorrection = ParseNumber<int>(value);
            if (!options.gmtCorrection || *options.gmtCorrection < -24 ||
                *options.gmtCorrection > 24) {
                return invalid("whole hours from -24 to 24");
            }
        } else if (arguments.is("--settings")) {
            if (!take()) return false;
            options.settingsFile = value;
        } else if (arguments.is("--output")) {
            if (!take()) return false;
            options.outputFile = value;
        } else if (arguments.isFlag("--")) {
            for (const std::string& log : arguments.rest()) options.logFiles.push_back(log);
        } else if (arguments.isOption()) {
            error = "unknown option " + arguments.argument();
            return false;
        } else {
            options.logFiles.push_back(arguments.argument());
        }
    }
    if (options.help) return true;
    if (options.gmtCorrection && !options.settingsFile.empty()) {
        error = "--settings and --gmt-correction exclude each other";
        return false;
    }
    if (options.logFiles.empty()) {
        error = "missing LOG";
        return false;
    }
    return true;
}

int RunCoverage(const CoverageCommandOptions& options, const std::vector<int>& logFds, int outFd,
                std::ostream& err, const std::string& settingsPath) {
    auto failed = [&err](const std::string& message) {
        err << "zelvar-coverage: " << message << '\n';
        return 2;
    };
    auto cannotRead = [&](const std::string& name, int error) {
        return failed("cannot read log file '" + name + "': " + std::strerror(error));
    };
    std::vector<FileIdentity> inputs;
    for (std::size_t i = 0; i < logFds.size(); ++i) {
        FileIdentity identity;
        if (!IdentityOf(logFds[i], "log file '" + options.logFiles[i] + "'", identity)) {
            return cannotRead(options.logFiles[i], errno);
        }
        inputs.push_back(identity);
    }
    // A store not written yet is no file to protect.
    if (FileIdentity store; !settingsPath.empty() && IdentityOf(settingsPath, "settings file", store)) {
        inputs.push_back(store);
    }

    try {
        // Writing over an input destroys it before it is read, and output
        // into a log would be read back as more log.
        std::optional<OutputFile> out;
        if (options.outputFile.empty()) {
            out.emplace(outFd, "to stdout");
            FileIdentity stdoutIdentity = out->identity();
            stdoutIdentity.name = "stdout";
            if (std::string refused = OutputOverInput(inputs, {stdoutIdentity}); !refused.empty()) {
                return failed(refused);
            }
        } else {
            out.emplace(options.outputFile, inputs, "output file '" + options.outputFile + "'");
        }

        std::vector<std::unique_ptr<NamedLogSource>> sources;
        std::vector<CoverageSource*> logs;
        CoverageCounts counts;
        try {
            for (std::size_t i = 0; i < logFds.size(); ++i) {
                sources.push_back(std::make_unique<NamedLogSource>(logFds[i], options.logFiles[i]));
                logs.push_back(sources.back().get());
            }
            counts = WriteCoverage(logs, options.coverage,
                                   [&out](std::string_view piece) { out->write(piece); });
        } catch (const NamedLogSource::ReadError& error) {
            return cannotRead(error.name, error.error);
        } catch (const std::system_error& error) {
            // The first rewind, made while the source is built.
            return cannotRead(options.logFiles[sources.size()], error.code().value());
        }
        out->commit();
        err << CoverageCountsText(counts) << '\n';
        return 0;
    } catch (const OutputError& error) {
        return failed(error.what());
    }
}

}  // namespace zelvar
