#include "DecodeCommand.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <ostream>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "Arguments.h"
#include "DecoderOutput.h"
#include "LogFormat.h"
#include "OutputFile.h"
#include "PackageJson.h"
#include "ReadWholeFile.h"
#include "SameFile.h"
#include "SavedLogDecoding.h"

namespace zelvar {

namespace {

// Takes the decoding's results the way the main window would show them, and
// writes them on as they come.
class StreamOutput : public DecoderOutput {
public:
    // With a station, every package goes out in its JSON form instead of the
    // text log.
    StreamOutput(OutputFile& out, OutputFile* hexOut, const std::string* station)
        : out_(out), hexOut_(hexOut), station_(station) {
        setTakesPackages(station_ != nullptr);
    }

    void setCountsText(std::string_view text) override { counts_ = text; }

    void packageDecoded(const PackageFields& package) override {
        AppendPackageJson(json_, PackageRecord{*station_, time_.of(package.stamp), package, {}, 0});
        json_ += '\n';
    }

    void showDecodedLines(const LineList& textLines, const LineList& hexLines) override {
        if (station_ == nullptr) {
            out_.write(textLines.text());
        } else {
            out_.write(json_);
            json_.clear();
        }
        if (hexOut_ == nullptr) return;
        // Each LF becomes CR LF, the line end of a saved log.
        crLf_.resize(hexLines.text().size() + hexLines.size());
        char* at = crLf_.data();
        for (std::size_t i = 0; i < hexLines.size(); ++i) {
            const std::string_view line = hexLines[i];
            std::memcpy(at, line.data(), line.size());
            at += line.size();
            *at++ = '\r';
            *at++ = '\n';
        }
        hexOut_->write(crLf_);
    }

    const std::string& counts() const { return counts_; }

private:
    OutputFile& out_;
    OutputFile* hexOut_;
    const std::string* station_;
    std::string crLf_;
    std::string json_;
    StampIsoTime time_;
    std::string counts_ = CountsText(0, 0);
};

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool ParseDecodeOptions(const std::vector<std::string>& args, DecodeOptions& options,
                        std::string& error) {
    Arguments arguments(args);
    while (arguments.next()) {
        auto takeFile = [&](std::string& target) {
            target = arguments.value().value_or(std::string());
            // An empty name names no file: taking it as "not given" would
            // silently drop the output asked for.
            if (target.empty()) error = "option " + arguments.name() + " needs a file name";
            return !target.empty();
        };
        if (arguments.isFlag("--help") || arguments.isFlag("-h")) {
            options.help = true;
        } else if (arguments.is("--settings")) {
            if (!takeFile(options.settingsFile)) return false;
        } else if (arguments.is("--hex-out")) {
            if (!takeFile(options.hexOutFile)) return false;
        } else if (arguments.isFlag("--json")) {
            options.json = true;
        } else if (arguments.is("--station")) {
            options.station = arguments.value().value_or(std::string());
            if (!ValidStationName(options.station)) {
                error = "option --station needs a name without '/', '+', '#' or control characters";
                return false;
            }
        } else if (arguments.isFlag("--")) {
            const std::vector<std::string> rest = arguments.rest();
            if (rest.size() != 1 || !options.logFile.empty()) {
                error = "expected exactly one LOGFILE";
                return false;
            }
            options.logFile = rest.front();
        } else if (arguments.isOption()) {
            error = "unknown option " + arguments.argument();
            return false;
        } else if (!options.logFile.empty()) {
            error = "unexpected argument " + arguments.argument() + " (only one LOGFILE)";
            return false;
        } else {
            options.logFile = arguments.argument();
        }
    }
    if (!options.help && options.logFile.empty()) {
        error = "missing LOGFILE";
        return false;
    }
    if (!options.station.empty() && !options.json) {
        error = "option --station goes with --json";
        return false;
    }
    return true;
}

std::string HostStationName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || !ValidStationName(name)) return "localhost";
    return name;
}

int RunDecode(const DecodeOptions& options, const Settings& settings, int logFd, int outFd,
              std::ostream& err, const std::string& settingsPath) {
    auto failed = [&err](const std::string& message) {
        err << "zelvar-decode: " << message << '\n';
        return 2;
    };
    auto cannotRead = [&](int error) {
        return failed("cannot read log file '" + options.logFile + "': " + std::strerror(error));
    };
    std::vector<FileIdentity> inputs(1);
    if (!IdentityOf(logFd, "log file", inputs[0])) return cannotRead(errno);
    // A store not written yet is no file to protect.
    if (FileIdentity store; !settingsPath.empty() && IdentityOf(settingsPath, "settings file", store)) {
        inputs.push_back(store);
    }

    try {
        // Output into the log itself would be read back as more log; and
        // writing over an input destroys it before it is read.
        OutputFile out(outFd, "to stdout");
        FileIdentity stdoutIdentity = out.identity();
        stdoutIdentity.name = "stdout";
        if (std::string refused = OutputOverInput(inputs, {stdoutIdentity}); !refused.empty()) {
            return failed(refused);
        }
        std::optional<OutputFile> hexOut;
        if (!options.hexOutFile.empty()) {
            hexOut.emplace(options.hexOutFile, inputs);
            if (!OutputOverInput({stdoutIdentity}, {hexOut->identity()}).empty()) {
                return failed("hex output file '" + options.hexOutFile + "' is stdout as well");
            }
        }

        const std::string station =
            options.station.empty() ? HostStationName() : options.station;
        StreamOutput output(out, hexOut ? &*hexOut : nullptr, options.json ? &station : nullptr);
        SavedLogDecoding decoding(logFd, settings, output);
        try {
            decoding.run("File: " + baseName(options.logFile));
        } catch (const std::system_error& error) {
            return cannotRead(error.code().value());
        }
        out.commit();
        if (hexOut) hexOut->commit();
        if (const std::size_t skipped = decoding.skippedLines(); skipped > 0) {
            err << "zelvar-decode: " << skipped << (skipped == 1 ? " line" : " lines")
                << " longer than " << LimitText(kLongestLogLine) << " skipped\n";
        }
        err << output.counts() << '\n';
        return 0;
    } catch (const OutputError& error) {
        return failed(error.what());
    }
}

}  // namespace zelvar
