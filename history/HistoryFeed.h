#pragma once

#include <atomic>
#include <optional>
#include <string_view>

#include "DecoderOutput.h"
#include "SignalHistory.h"

namespace zelvar {

struct Settings;

// The level of a dBm text: "Max" is the ceiling; "-", an empty text or
// anything else that is no number gives none (a gap).
std::optional<SignalHistory::Level> ParseDbm(std::string_view dbm);

// Takes one report into the history: a level, or a gap.
void AddReport(SignalHistory& history, int port, SignalHistory::Time time, std::string_view dbm);

// A report as the decoder hands it over, with its package's stamp; one
// without a time is left out.
void AddStampedReport(SignalHistory& history, int port, std::string_view stamp,
                      std::string_view dbm);

// A decoder output that passes every signal report on to a history.
class HistoryOutput : public DecoderOutput {
public:
    explicit HistoryOutput(SignalHistory& history) : history_(history) {}
    void signalReport(int port, std::string_view stamp, std::string_view dbm, bool live) override;

private:
    SignalHistory& history_;
};

// The reports of a saved hex log, read from `fd` and run through the offline
// decoder with these settings (their dBm correction and ceiling per port).
// A read error leaves as std::system_error. `stop`, set from another thread,
// ends the reading early.
void FeedHexLog(SignalHistory& history, int fd, const Settings& settings,
                const std::atomic<bool>* stop = nullptr);

// The reports of a saved text log: every line that carries a dBm value (the
// decoded line and each form of the RSSI-only line), to the whole second.
// Lines without a known time are left out.
void FeedTextLog(SignalHistory& history, int fd, const std::atomic<bool>* stop = nullptr);
// One line of a text log; false when it carries no report.
bool FeedTextLine(SignalHistory& history, std::string_view line);

}  // namespace zelvar
