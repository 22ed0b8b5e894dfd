#pragma once

#include <fstream>
#include <sstream>
#include <string>

namespace zelvar::test {

// The datagrams the kernel dropped because a UDP socket's receive buffer was
// full, counted for the whole network namespace since it was made (-1 when
// the count cannot be read). A loaded machine drops them before the program
// sees them: a test tells them apart from a loss inside the program.
inline long long UdpRcvbufErrors() {
    std::ifstream snmp("/proc/net/snmp");
    std::string names, line;
    while (std::getline(snmp, line)) {
        if (line.rfind("Udp: ", 0) != 0) continue;
        if (names.empty()) {
            names = line;
            continue;
        }
        std::istringstream name(names), value(line);
        std::string n, v;
        while (name >> n && value >> v) {
            if (n == "RcvbufErrors") return std::stoll(v);
        }
        return -1;
    }
    return -1;
}

}  // namespace zelvar::test
