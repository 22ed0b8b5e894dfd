#pragma once

#include <string>

namespace zelvar {

// The operator's own position from the GPS receiver: six texts, each empty
// while unknown.
struct OwnFix {
    std::string DateTimeText;  // dd.mm.20yy hh:mm:ss, shifted to the operator's time zone
    std::string RmcDate;       // ddmmyy as received
    std::string RmcTime;       // hhmmss.sss as received (UTC)
    std::string LatText;       // e.g. 5540.1234,N
    std::string LonText;       // e.g. 03736.5678,E
    std::string PdopText;      // one decimal, or "Err"
};

// What the decoder needs to know about the GPS receiver at each package.
struct GpsState {
    bool Connected = false;  // the GPS serial port is open
    OwnFix fix;
};

}  // namespace zelvar
