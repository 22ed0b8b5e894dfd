#include "SessionRules.h"

#include <arpa/inet.h>

#include <limits>
#include <string>

namespace zelvar {

namespace {

void advance(std::int32_t& ticks) {
    if (ticks < std::numeric_limits<std::int32_t>::max()) ++ticks;
}

}  // namespace

TickActions SessionTick(PortTicks& meterHold, PortTicks& silenceTicks, int timeOut,
                        bool monitoring) {
    TickActions actions;
    for (std::size_t n = 1; n <= kPortCount; ++n) {
        if (meterHold[n] > 0) {
            meterHold[n] = 0;
            actions.zeroMeter[n] = true;
        }
    }
    if (monitoring) {
        const std::int64_t limit = 2 * static_cast<std::int64_t>(timeOut);
        for (std::size_t n = 1; n <= kPortCount; ++n) {
            if (silenceTicks[n] > limit) {
                silenceTicks[n] = 0;
                actions.reregister[n] = true;
            }
        }
    }
    for (std::size_t n = 1; n <= kPortCount; ++n) {
        advance(meterHold[n]);
        advance(silenceTicks[n]);
    }
    return actions;
}

std::optional<std::uint16_t> TransceiverPortNumber(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return std::nullopt;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    }
    if (negative) value = -value;
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(value) & 0xFFFFu);
}

std::uint32_t TransceiverAddress(std::string_view text) {
    in_addr address{};
    const std::string copy(text);
    if (inet_aton(copy.c_str(), &address) == 0) return NoAddress;
    return address.s_addr;
}

int PortForSource(std::uint32_t source,
                  const std::array<std::uint32_t, kPortCount>& transceiverIP) {
    int port = 1;
    for (std::size_t n = 0; n < kPortCount; ++n) {
        if (transceiverIP[n] == source) port = static_cast<int>(n) + 1;
    }
    return port;
}

}  // namespace zelvar
