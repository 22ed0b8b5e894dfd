#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "DecoderOutput.h"
#include "LineList.h"

namespace zelvar::test {

// Keeps everything the decoder hands to the main window, in order.
class RecordingOutput : public DecoderOutput {
public:
    bool textLogEmpty() const override { return text.empty(); }
    void refreshDisplayMode() override {
        ++headerRefreshes;
        if (monitoring) text.push_back(header);
    }
    void appendTextLine(std::string_view line) override { text.emplace_back(line); }
    void appendHexLine(std::string_view line) override { hex.emplace_back(line); }
    void setSMeter(int port, int position) override { meters.emplace_back(port, position); }
    void rolloverCheck() override { ++rolloverChecks; }
    void setCountsText(std::string_view t) override { counts.emplace_back(t); }
    void setProgressText(std::string_view t) override { progress.emplace_back(t); }
    void processPendingEvents() override {
        ++pendingEventRuns;
        if (onPendingEvents) onPendingEvents();
    }
    void showDecodedLines(const LineList& t, const LineList& h) override {
        for (std::size_t i = 0; i < t.size(); ++i) text.emplace_back(t[i]);
        for (std::size_t i = 0; i < h.size(); ++i) hex.emplace_back(h[i]);
        ++shows;
    }

    bool monitoring = true;
    std::string header = "HEADER";
    std::vector<std::string> text, hex, counts, progress;
    std::vector<std::pair<int, int>> meters;
    int headerRefreshes = 0, rolloverChecks = 0, pendingEventRuns = 0, shows = 0;
    std::function<void()> onPendingEvents;
};

}  // namespace zelvar::test
