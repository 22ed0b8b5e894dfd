#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
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

    // Decodes `package` as a package of port 1..4; past ReceiveBufferSize
    // bytes it is cut short. A stamp that is empty means the time is unknown.
    // `hexLine`, when not empty, is the package's hex line exactly as it would
    // be written here. Never fails.
    void DecodePackage(std::span<const std::uint8_t> package, std::string_view stamp,
                       DecodeMode mode, int port, std::string_view hexLine = {});

    // Forgets the calls in progress and the signal reports of every port.
    void ResetPortState();

    const PortState& portState(int port) const { return ports_.at(static_cast<std::size_t>(port)); }

    // The package last decoded, zero past its end.
    const std::array<std::uint8_t, ReceiveBufferSize>& receiveBuffer() const { return ReceiveBuffer; }

    std::int64_t textCount() const { return TextCount; }  // text lines produced
    std::int64_t hexCount() const { return HexCount; }    // packages decoded
    // Where a session, a rollover or Clear starts the counts again.
    void setCounts(std::int64_t text, std::int64_t hex) {
        TextCount = text;
        HexCount = hex;
    }

    // Session-timer ticks since each port's S-meter was set and since its last
    // package, index 1..4 (0 unused): a session starts them at zero, and its
    // timer's tick moves them on through `tick(meterHold, silenceTicks)`.
    void resetPortTicks() {
        MeterHold.fill(0);
        SilenceTicks.fill(0);
    }
    template <class Tick>
    auto tickPorts(Tick&& tick) {
        return tick(MeterHold, SilenceTicks);
    }

    // The lines an offline decoding collected and has not yet handed on.
    const LineList& decodedTextLines() const { return DecodedTextLines; }
    const LineList& decodedHexLines() const { return DecodedHexLines; }
    void clearDecodedLines() {
        DecodedTextLines.clear();
        DecodedHexLines.clear();
    }

    DecoderOutput& output() { return output_; }

private:
    // The offline run parses each line straight into the receive buffer and
    // collects the decoded lines in place.
    friend class OfflineDecoder;

    // Decodes ReceiveBuffer[0 .. n-1].
    void DecodePackage(std::size_t n, std::string_view stamp, DecodeMode mode, int port,
                       std::string_view hexLine = {});

    std::array<std::uint8_t, ReceiveBufferSize> ReceiveBuffer{};
    std::int64_t TextCount = 0;
    std::int64_t HexCount = 0;
    std::array<std::int32_t, kPortCount + 1> MeterHold{};
    std::array<std::int32_t, kPortCount + 1> SilenceTicks{};
    LineList DecodedTextLines;
    LineList DecodedHexLines;

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
