#include "PackageDecoder.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "DateTime.h"
#include "LogFormat.h"
#include "PackageFields.h"

namespace zelvar {

namespace {

// Packages shorter than these carry no fields of their kind.
constexpr std::size_t kMinCallPackage = 30;
constexpr std::size_t kMinRssiPackage = 13;

constexpr std::uint8_t kTypeSyn = 0x10;
constexpr std::uint8_t kTypeContinuation = 0x11;
constexpr std::uint8_t kTypeRssi = 0x0F;
constexpr std::uint8_t kPrivateCall = 0x03;

// A decimal text without leading zeros, kept on the stack: the decoder makes
// a handful per package and compares them as texts.
class Decimal {
public:
    explicit Decimal(std::uint64_t value) {
        size_ = static_cast<std::size_t>(std::to_chars(chars_, chars_ + sizeof chars_, value).ptr -
                                         chars_);
    }
    std::string_view view() const { return {chars_, size_}; }

private:
    char chars_[20];
    std::size_t size_ = 0;
};

std::uint32_t bigEndian24(const std::uint8_t* b) {
    return (std::uint32_t{b[0]} << 16) | (std::uint32_t{b[1]} << 8) | b[2];
}

std::string_view twoHexDigits(std::uint8_t byte, char (&out)[2]) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out[0] = kDigits[byte >> 4];
    out[1] = kDigits[byte & 0x0F];
    return {out, 2};
}

bool isGroupCall(std::string_view call) {
    return call == "00" || call == "20" || call == "40" || call == "60";
}

bool isEncrypted(std::uint8_t service) {
    return service == 0x40 || service == 0x48 || service == 0x60;
}

// The S-meter reading of a raw signal value: the distance from mid-scale in
// steps of 2000, halves to the even neighbour, shown on a 0..9 bar.
int meterPosition(std::uint32_t raw) {
    const std::uint32_t w = raw > 32768 ? raw - 32768 : 32768 - raw;
    std::uint32_t q = w / 2000;
    const std::uint32_t r = w % 2000;
    if (r > 1000 || (r == 1000 && (q & 1) != 0)) ++q;
    return q > 9 ? 9 : static_cast<int>(q);
}

}  // namespace

PackageDecoder::PackageDecoder(const Settings& settings, const DisplayMirrors& mirrors,
                               const GpsState& gps, DecoderOutput& output)
    : settings_(settings), mirrors_(mirrors), gps_(gps), output_(output) {
    line_.reserve(512);
}

void PackageDecoder::ResetPortState() {
    for (PortState& state : ports_) {
        state = PortState{};
        // One character, not a copy of "-": GCC 12 at -O3 sees an overlapping
        // memcpy in the string assignment that cannot happen.
        state.LastRSSI.assign(1, '-');
    }
}

void PackageDecoder::DecodePackage(std::span<const std::uint8_t> package, std::string_view stamp,
                                   DecodeMode mode, int port, std::string_view hexLine) {
    const std::size_t n = std::min(package.size(), ReceiveBufferSize);
    std::copy_n(package.begin(), n, ReceiveBuffer.begin());
    std::fill(ReceiveBuffer.begin() + static_cast<std::ptrdiff_t>(n), ReceiveBuffer.end(),
              std::uint8_t{0});
    DecodePackage(n, stamp, mode, port, hexLine);
}

void PackageDecoder::DecodePackage(std::size_t n, std::string_view stamp, DecodeMode mode,
                                   int port, std::string_view hexLine) {
    // Callers only ever pass ports 1..4 and at most a buffer's worth of bytes;
    // anything else is refused rather than read out of bounds.
    if (port < 1 || port > kPortCount || n == 0) return;
    if (n > ReceiveBufferSize) n = ReceiveBufferSize;
    const bool live = mode == DecodeMode::Live;
    const auto slot = static_cast<std::size_t>(port);
    PortState& state = ports_[slot];
    const std::uint8_t* b = ReceiveBuffer.data();

    if (live && output_.textLogEmpty()) output_.refreshDisplayMode();

    // Packages of one stamp unit come in runs, so the last conversion is kept.
    std::string_view timeText = TimeUnknownText;
    if (!stamp.empty()) {
        if (stamp != lastStamp_) {
            lastStamp_ = stamp;
            AssignStampText(lastTimeText_, stamp);
        }
        timeText = lastTimeText_;
    }

    std::string type, call, group, id, clr;
    std::string enc = "off";
    std::string_view ptt = "-  ";
    bool confirmed = false;
    bool rssiReport = false;
    const std::uint8_t typeByte = n > 4 ? b[4] : 0;

    if (n >= kMinCallPackage && typeByte != kTypeContinuation && typeByte != kTypeRssi &&
        settings_.typeEnabled(typeByte)) {
        char digits[2];
        type = twoHexDigits(typeByte, digits);
        if (typeByte == kTypeSyn) type = "10 Syn";
        call = twoHexDigits(b[12], digits);
        group = Decimal(bigEndian24(b + 13)).view();
        id = Decimal(bigEndian24(b + 16)).view();
        clr = Decimal(b[28] >> 4).view();
        const unsigned pttCode = b[28] & 0x0F;
        if (pttCode == 1) ptt = "1  ";
        if (pttCode == 2) ptt = "0  ";
        state.LastPTT = ptt;
        // The packet filter shows a call from its second package on: the
        // first one only introduces the identity.
        confirmed = !settings_.IDFilter ||
                    (group == state.LastGroup && id == state.LastID && clr == state.LastClr);
        state.LastCall = call;
        state.LastGroup = group;
        state.LastID = id;
        state.LastClr = clr;
        if (isEncrypted(b[12])) enc = "On ";
    }

    if (n >= kMinCallPackage && typeByte == kTypeContinuation &&
        settings_.typeEnabled(kTypeContinuation)) {
        enc = Decimal(b[12]).view();
        // A continuation belongs to the call in progress when it names that
        // call's group and colour code.
        if (Decimal(bigEndian24(b + 17)).view() == state.LastGroup &&
            Decimal(b[28] >> 4).view() == state.LastClr) {
            type = "11";
            call = state.LastCall;
            group = state.LastGroup;
            id = state.LastID;
            clr = state.LastClr;
            ptt = state.LastPTT;
            confirmed = true;
        }
    }

    if (settings_.IDFilter && (group == "0" || id == "0" || clr == "0")) confirmed = false;

    if (n >= kMinRssiPackage && typeByte == kTypeRssi) {
        const std::uint32_t raw = (std::uint32_t{b[11]} << 8) | b[12];
        const long dbm = std::lround(-static_cast<double>(raw) / 255.0) +
                         settings_.RSSICorrection[slot - 1];
        if (dbm >= settings_.MaxRSSI[slot - 1]) {
            state.LastRSSI = "Max";
        } else {
            state.LastRSSI = Decimal(static_cast<std::uint64_t>(std::labs(dbm))).view();
            if (dbm < 0) state.LastRSSI.insert(0, 1, '-');
        }
        output_.signalReport(port, stamp, state.LastRSSI, live);
        if (live) {
            output_.setSMeter(port, meterPosition(raw));
            MeterHold[slot] = 0;
        }
        rssiReport = true;
    }

    const std::string_view dbmText = state.LastRSSI;
    const char portText[1] = {static_cast<char>('0' + port)};
    const std::string_view portView(portText, 1);
    bool decodedLine = false;

    if (confirmed && !mirrors_.OnlyRSSI) {
        if (type != "11") {
            if (b[10] == kPrivateCall) call = "Private";
            if (group == "16777215") {
                group = "For All";
                call = "Total";
            }
            if (isGroupCall(call)) call = "Group";
            state.LastCall = call;
        } else {
            if (call == "40" || call == "48" || call == "60") call.clear();
            if (group == "16777215") group = "For All";
        }
        const bool suppressed =
            call.size() < 3 && settings_.IDFilter && !settings_.typeEnabled(kTypeSyn);
        if (!suppressed) {
            line_.clear();
            AppendDecodedLine(line_, {type, portView, timeText, call, group, id, clr, enc, ptt,
                                      dbmText});
            if (live) {
                output_.appendTextLine(line_);
            } else {
                DecodedTextLines.append(line_);
            }
            ++TextCount;
            decodedLine = true;
        }
    } else if (rssiReport && mirrors_.OnlyRSSI) {
        std::string line;
        if (gps_.Connected && live) {
            const OwnFix& fix = gps_.fix;
            if (!fix.DateTimeText.empty() && !fix.LatText.empty() && !fix.LonText.empty() &&
                !fix.PdopText.empty()) {
                line = RssiOwnPositionLine(portView, fix.DateTimeText, fix.LatText, fix.LonText,
                                           fix.PdopText, dbmText);
            } else {
                line = RssiPlaceholderLine(portView, timeText, dbmText);
            }
        } else {
            line = RssiShortLine(portView, timeText, dbmText);
        }
        if (live) {
            output_.appendTextLine(line);
        } else {
            DecodedTextLines.append(line);
        }
        ++TextCount;
    }

    if (hexLine.empty()) {
        line_.clear();
        if (!stamp.empty()) AppendStampedHexPrefix(line_, port, stamp);
        AppendHexText(line_, b, n);
        hexLine = line_;
    }
    if (!live) {
        DecodedHexLines.append(hexLine);
    } else {
        output_.liveHexLine(hexLine);
        if (mirrors_.HexLog) output_.appendHexLine(hexLine);
    }

    if (output_.takesPackages()) {
        PackageFields fields;
        fields.port = port;
        fields.stamp = stamp;
        fields.hex = stamp.empty() ? hexLine : hexLine.substr(hexLine.find('\t') + 1);
        fields.type = n > 4 ? typeByte : -1;
        if (decodedLine) {
            fields.decoded = true;
            fields.call = call;
            fields.group = group;
            fields.id = id;
            fields.clr = clr;
            fields.enc = enc;
            fields.ptt = ptt;
        }
        if (decodedLine || rssiReport) fields.dbm = dbmText;
        const OwnFix& fix = gps_.fix;
        if (rssiReport && live && gps_.Connected && !fix.DateTimeText.empty() &&
            !fix.LatText.empty() && !fix.LonText.empty() && !fix.PdopText.empty()) {
            fields.position = &fix;
        }
        output_.packageDecoded(fields);
    }

    ++HexCount;
    SilenceTicks[slot] = 0;

    // Offline the counts are shown only now and then; the mask is a bit test
    // on purpose, it keeps the status bar quiet for stretches of 1000 packages.
    if (live || (static_cast<std::uint32_t>(HexCount) & 1000U) == 0) {
        output_.setCountsText(CountsText(TextCount, HexCount));
    }
    if (live) output_.rolloverCheck();
}

}  // namespace zelvar
