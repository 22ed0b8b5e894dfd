#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "DecoderOutput.h"
#include "LineList.h"
#include "OwnFix.h"
#include "Settings.h"

namespace zelvar {

inline constexpr std::size_t ReceiveBufferSize = 128;

enum class DecodeMode { Live, Offline };

// Program-wide mirrors of the check marks "Display Only RSSI" and "Hex Log",
// kept by the main window's refreshes and read by the decoder.
struct DisplayMirrors {
    bool OnlyRSSI = false;
    bool HexLog = true;
};

// The memory of one port between packages.
struct PortState {
    std::string LastRSSI;
    std::string LastGroup;
    std::string LastID;
    std::string LastClr;
    std::string LastCall;
    std::string LastPTT;
};

// Turns one package into at most one text-log line and one hex-log line, and
// keeps the per-port state that links the packages of one call.
class PackageDecoder {
public:
    PackageDecoder(const Settings& settings, const DisplayMirrors& mirrors, const GpsState& gps,
                   DecoderOutput& output);

    // Decodes ReceiveBuffer[0 .. n-1] as a package of port 1..4. A stamp that
    // is empty means the time is unknown. `hexLine`, when not empty, is the
    // package's hex line exactly as it would be written here (the offline run
    // has it from the saved log). Never fails.
    void DecodePackage(std::size_t n, std::string_view stamp, DecodeMode mode, int port,
                       std::string_view hexLine = {});

    // Forgets the calls in progress and the signal reports of every port.
    void ResetPortState();

    const PortState& portState(int port) const { return ports_.at(static_cast<std::size_t>(port)); }

    // The package being decoded, filled by the datagram intake or the offline run.
    std::array<std::uint8_t, ReceiveBufferSize> ReceiveBuffer{};

    std::int64_t TextCount = 0;  // text lines produced
    std::int64_t HexCount = 0;   // packages decoded

    // Session-timer ticks since each port's S-meter was set and since its last
    // package; index 1..4 (0 unused).
    std::array<std::int32_t, kPortCount + 1> MeterHold{};
    std::array<std::int32_t, kPortCount + 1> SilenceTicks{};

    // Where offline decoding collects its lines.
    LineList DecodedTextLines;
    LineList DecodedHexLines;

    DecoderOutput& output() { return output_; }

private:
    const Settings& settings_;
    const DisplayMirrors& mirrors_;
    const GpsState& gps_;
    DecoderOutput& output_;
    std::array<PortState, kPortCount + 1> ports_{};
    std::string line_;  // reused for every line, so a package allocates nothing
    std::string lastStamp_;
    std::string lastTimeText_;
};

}  // namespace zelvar
