#include "DecodeCommand.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <ostream>
#include <sstream>
#include <utility>

#include "DecoderOutput.h"
#include "LogFormat.h"
#include "OfflineDecoder.h"
#include "PackageDecoder.h"

namespace zelvar {

namespace {

// Takes the decoding's results the way the main window would show them.
class StreamOutput : public DecoderOutput {
public:
    StreamOutput(std::ostream& out, std::ostream* hexOut) : out_(out), hexOut_(hexOut) {}

    void setCountsText(std::string_view text) override { counts_ = text; }

    void showDecodedLines(const LineList& textLines, const LineList& hexLines) override {
        out_ << textLines.text();
        if (hexOut_ == nullptr) return;
        for (std::size_t i = 0; i < hexLines.size(); ++i) *hexOut_ << hexLines[i] << "\r\n";
    }

    const std::string& counts() const { return counts_; }

private:
    std::ostream& out_;
    std::ostream* hexOut_;
    std::string counts_ = CountsText(0, 0);
};

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool ParseDecodeOptions(const std::vector<std::string>& args, DecodeOptions& options,
                        std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto takeValue = [&](const std::string& name, std::string& target) {
            if (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + "=") == 0) {
                target = arg.substr(name.size() + 1);
                return true;
            }
            if (i + 1 >= args.size()) {
                error = "option " + name + " needs a file name";
                return false;
            }
            target = args[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--settings" || arg.rfind("--settings=", 0) == 0) {
            if (!takeValue("--settings", options.settingsFile)) return false;
        } else if (arg == "--hex-out" || arg.rfind("--hex-out=", 0) == 0) {
            if (!takeValue("--hex-out", options.hexOutFile)) return false;
        } else if (arg == "--") {
            if (i + 2 != args.size() || !options.logFile.empty()) {
                error = "expected exactly one LOGFILE";
                return false;
            }
            options.logFile = args[i + 1];
            break;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else if (!options.logFile.empty()) {
            error = "unexpected argument " + arg + " (only one LOGFILE)";
            return false;
        } else {
            options.logFile = arg;
        }
    }
    if (!options.help && options.logFile.empty()) {
        error = "missing LOGFILE";
        return false;
    }
    return true;
}

int RunDecode(const DecodeOptions& options, const Settings& settings, std::ostream& out,
              std::ostream* hexOut, std::ostream& err) {
    std::ifstream file(options.logFile, std::ios::binary | std::ios::ate);
    std::string content;
    const std::streamoff size = file ? static_cast<std::streamoff>(file.tellg()) : -1;
    if (size > 0) {
        content.resize(static_cast<std::size_t>(size));
        file.seekg(0);
        file.read(content.data(), size);
    }
    if (size < 0 || !file) {
        err << "zelvar-decode: cannot read log file '" << options.logFile
            << "': " << std::strerror(errno != 0 ? errno : EIO) << '\n';
        return 2;
    }

    DisplayMirrors mirrors;
    mirrors.OnlyRSSI = settings.OnlyRSSI;
    mirrors.HexLog = settings.HexLog;
    const GpsState gps;  // the command line has no GPS receiver
    StreamOutput output(out, hexOut);
    PackageDecoder decoder(settings, mirrors, gps, output);
    OfflineDecoder offline(decoder, mirrors);

    offline.OfflineInputLines = LineList::fromText(std::move(content));
    if (!offline.OfflineInputLines.empty()) {
        decoder.ResetPortState();
        offline.DecodeLogLines("File: " + baseName(options.logFile));
    }
    out.flush();
    err << output.counts() << '\n';
    return 0;
}

}  // namespace zelvar
