#include "HistoryFeed.h"

#include <array>
#include <charconv>

#include "DateTime.h"
#include "LogLineReader.h"
#include "OfflineDecoder.h"
#include "PackageDecoder.h"

namespace zelvar {

namespace {

// Fields of a text-log line by its number of TABs: the decoded line has ten
// fields, the RSSI-only line three, or six with the own position.
constexpr std::size_t kMaxFields = 10;

bool parseNumber(std::string_view text, int& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size();
}

// "DD.MM.YYYY HH:MM:SS" as milliseconds of the same local time.
bool textTime(std::string_view text, SignalHistory::Time& time) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.size() != 19 || text[2] != '.' || text[5] != '.' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':') {
        return false;
    }
    int day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
    if (!parseNumber(text.substr(0, 2), day) || !parseNumber(text.substr(3, 2), month) ||
        !parseNumber(text.substr(6, 4), year) || !parseNumber(text.substr(11, 2), hour) ||
        !parseNumber(text.substr(14, 2), minute) || !parseNumber(text.substr(17, 2), second) ||
        month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) {
        return false;
    }
    const std::int64_t days =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    time = ((days * 24 + hour) * 60 + minute) * 60'000 + second * 1000;
    return true;
}

}  // namespace

std::optional<SignalHistory::Level> ParseDbm(std::string_view dbm) {
    if (dbm == "Max") return SignalHistory::kMax;
    int value = 0;
    // Real levels lie far inside this range; one outside is no report.
    if (!parseNumber(dbm, value) || value < -1000 || value > 1000) return std::nullopt;
    return static_cast<SignalHistory::Level>(value);
}

void AddReport(SignalHistory& history, int port, SignalHistory::Time time, std::string_view dbm) {
    if (const auto level = ParseDbm(dbm)) {
        history.add(port, time, *level);
    } else {
        history.addGap(port, time);
    }
}

void AddStampedReport(SignalHistory& history, int port, std::string_view stamp,
                      std::string_view dbm) {
    SignalHistory::Time time = 0;
    if (!stamp.empty() && StampLocalMs(stamp, time)) AddReport(history, port, time, dbm);
}

void HistoryOutput::signalReport(int port, std::string_view stamp, std::string_view dbm,
                                 bool /*live*/) {
    AddStampedReport(history_, port, stamp, dbm);
}

void FeedHexLog(SignalHistory& history, int fd, const Settings& settings,
                const std::atomic<bool>* stop) {
    // The decoder looks at its abort flag after every line.
    class StoppableOutput : public HistoryOutput {
    public:
        StoppableOutput(SignalHistory& history, const std::atomic<bool>* stop, DecodingFlags& flags)
            : HistoryOutput(history), stop_(stop), flags_(flags) {}
        void processPendingEvents() override {
            if (stop_ && *stop_) flags_.AbortDecoding = true;
        }

    private:
        const std::atomic<bool>* stop_;
        DecodingFlags& flags_;
    };
    DecodingFlags flags;
    StoppableOutput output(history, stop, flags);
    const DisplayMirrors mirrors;
    const GpsState gps;
    PackageDecoder decoder(settings, mirrors, gps, output);
    OfflineDecoder offline(decoder, mirrors, flags);
    LogLineReader lines(fd, kLogReadBlock, kLongestLogLine);
    decoder.ResetPortState();
    offline.DecodeLogStream("", lines);
}

bool FeedTextLine(SignalHistory& history, std::string_view line) {
    std::array<std::string_view, kMaxFields + 1> fields;
    std::size_t count = 0;
    while (count < fields.size()) {
        const std::size_t tab = line.find('\t');
        fields[count++] = line.substr(0, tab);
        if (tab == std::string_view::npos) break;
        line.remove_prefix(tab + 1);
    }
    std::size_t portField = 0;
    if (count == 10) {
        portField = 1;
    } else if (count != 3 && count != 6) {
        return false;
    }
    const std::string_view port = fields[portField];
    SignalHistory::Time time = 0;
    if (port.size() != 1 || port[0] < '1' || port[0] > '4' ||
        !textTime(fields[portField + 1], time)) {
        return false;
    }
    AddReport(history, port[0] - '0', time, fields[count - 1]);
    return true;
}

void FeedTextLog(SignalHistory& history, int fd, const std::atomic<bool>* stop) {
    LogLineReader lines(fd, kLogReadBlock, kLongestLogLine);
    std::string_view line;
    while (!(stop && *stop) && lines.next(line)) FeedTextLine(history, line);
}

}  // namespace zelvar
