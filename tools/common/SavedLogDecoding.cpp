#include "SavedLogDecoding.h"

#include "DateTime.h"

namespace zelvar {

SavedLogDecoding::SavedLogDecoding(int logFd, const Settings& settings, DecoderOutput& output)
    : mirrors_{settings.OnlyRSSI, settings.HexLog},
      decoder_(settings, mirrors_, gps_, output),
      offline_(decoder_, mirrors_),
      lines_(logFd, kLogReadBlock, kLongestLogLine) {}

void SavedLogDecoding::run(std::string_view title) {
    decoder_.ResetPortState();
    offline_.DecodeLogStream(title, lines_);
}

const std::string& StampIsoTime::of(std::string_view stamp) {
    if (stamp != stamp_) {
        stamp_.assign(stamp);
        time_.clear();
        if (!stamp.empty()) AppendStampIsoTime(time_, stamp);
    }
    return time_;
}

}  // namespace zelvar
