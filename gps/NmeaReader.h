#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "OwnFix.h"
#include "Settings.h"

namespace zelvar {

// What the GPS strip's four labels show.
struct GpsLabels {
    std::string time = "GPS";  // LabelGPSTime
    std::string lat;           // LabelLat
    std::string lon;           // LabelLon
    std::string pdop;          // LabelPDOP
};

// Turns the receiver's bytes into the own-position fix. Bytes come in as the
// serial port delivers them; a line ends when a delivery ends on a carriage
// return, and only GPRMC and GPGSA lines change anything. Reads
// `GMTCorrection` from the settings at every GPRMC line. No threads: call it
// from the thread that owns the fix.
class NmeaReader {
public:
    // Longest unfinished line kept; a receiver that never ends a delivery on a
    // carriage return must not make the buffer grow without end.
    static constexpr std::size_t kMaxBuffer = 4096;

    NmeaReader(const Settings& settings, OwnFix& fix);

    // One delivery of bytes. True when it completed a line, whether or not the
    // line changed anything; the labels are then worth showing again.
    bool Receive(std::string_view bytes);

    // The GPS started or stopped: the fix, the previous GPRMC time, the
    // unfinished line and the labels start afresh.
    void Reset();

    const GpsLabels& labels() const { return labels_; }
    const std::string& LastRmcTime() const { return lastRmcTime_; }
    const std::string& NmeaBuffer() const { return buffer_; }
    // Complete lines dropped because a number in them was no number.
    int droppedLines() const { return dropped_; }

private:
    void takeLine();
    bool takeGsa(std::vector<std::string>& fields);
    bool takeRmc(const std::vector<std::string>& fields);

    const Settings& settings_;
    OwnFix& fix_;
    GpsLabels labels_;
    std::string buffer_;
    std::string lastRmcTime_;
    int dropped_ = 0;
};

}  // namespace zelvar
