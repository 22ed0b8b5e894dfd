#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zelvar {

// Extra port names, colon-separated (for the NMEA emulator's pseudo-terminal,
// whose slave has no entry under /sys/class/tty with a device behind it).
inline constexpr const char* kExtraPortsVariable = "ZELVAR_SERIAL_PORTS";

// Fills `list` with the serial ports the system has: the terminal devices
// under `ttyRoot` that have a hardware device behind them, kernel names as
// they are (ttyUSB0, ttyACM0, ttyS0), plus the names in `extraNames`; sorted
// as text, case-insensitively. Without any port, returns false and leaves
// `list` as it was. Throws EComPort when the table cannot be read.
bool ListSerialPorts(std::vector<std::string>& list, const std::filesystem::path& ttyRoot,
                     std::string_view extraNames);

// The same for this system: /sys/class/tty and $ZELVAR_SERIAL_PORTS.
bool ListSerialPorts(std::vector<std::string>& list);

// The device a listed name opens: /dev/ + name, or the name itself when it
// is already a path; empty for an empty name.
std::string SerialDevicePath(std::string_view name);

}  // namespace zelvar
