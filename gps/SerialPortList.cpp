#include "SerialPortList.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include "EComPort.h"

namespace zelvar {

namespace {

namespace fs = std::filesystem;

// The 8250 driver registers ttyS0..ttyS31 whether or not a UART is there;
// an empty slot reports UART type 0 and would only fail when opened.
bool isEmptyLegacySlot(const fs::path& entry, const std::string& name) {
    if (name.rfind("ttyS", 0) != 0) return false;
    std::ifstream type(entry / "type");
    std::string value;
    return type >> value && value == "0";
}

bool lessIgnoringCase(const std::string& a, const std::string& b) {
    const auto lower = [](unsigned char c) { return std::tolower(c); };
    const bool less = std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [&](unsigned char x, unsigned char y) { return lower(x) < lower(y); });
    const bool greater = std::lexicographical_compare(
        b.begin(), b.end(), a.begin(), a.end(),
        [&](unsigned char x, unsigned char y) { return lower(x) < lower(y); });
    return less || (!greater && a < b);
}

}  // namespace

bool ListSerialPorts(std::vector<std::string>& list, const fs::path& ttyRoot,
                     std::string_view extraNames) {
    std::vector<std::string> names;
    std::error_code error;
    fs::directory_iterator it(ttyRoot, error);
    if (!error) {
        for (const fs::directory_iterator end; it != end; it.increment(error)) {
            if (error) break;
            const fs::path& entry = it->path();
            const std::string name = entry.filename().string();
            std::error_code linkError;
            // Virtual terminals and pseudo-terminals have no device behind them.
            if (!fs::exists(entry / "device", linkError)) continue;
            if (isEmptyLegacySlot(entry, name)) continue;
            names.push_back(name);
        }
        if (error) throw EComPort(ComText::PortTable);
    }
    while (!extraNames.empty()) {
        const std::size_t colon = extraNames.find(':');
        const std::string_view name = extraNames.substr(0, colon);
        if (!name.empty()) names.emplace_back(name);
        extraNames = colon == std::string_view::npos ? std::string_view() : extraNames.substr(colon + 1);
    }
    if (names.empty()) return false;
    std::sort(names.begin(), names.end(), lessIgnoringCase);
    names.erase(std::unique(names.begin(), names.end()), names.end());
    list = std::move(names);
    return true;
}

bool ListSerialPorts(std::vector<std::string>& list) {
    const char* extra = std::getenv(kExtraPortsVariable);
    return ListSerialPorts(list, "/sys/class/tty", extra != nullptr ? extra : "");
}

std::string SerialDevicePath(std::string_view name) {
    // No name (an empty port list) names no device, not the folder /dev/.
    if (name.empty()) return {};
    if (name.front() == '/') return std::string(name);
    return "/dev/" + std::string(name);
}

}  // namespace zelvar
