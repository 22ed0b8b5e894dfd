#pragma once

#include <string_view>

#include "OwnFix.h"

namespace zelvar {

// What the decoder made of one package, for outputs that keep every package
// (the JSON form, the package store). Views into the decoder's own texts,
// valid during the call that hands them over.
struct PackageFields {
    int port = 1;
    std::string_view stamp;  // empty: a bare line, the time is unknown
    std::string_view hex;    // the hex text exactly as the hex line has it
    int type = -1;           // the type byte; -1 for a package too short to have one

    // The decoded line's fields, unpadded, when the package gave one
    // ("Private", "For All", "On ", "1  " and the like as the line shows them).
    bool decoded = false;
    std::string_view call, group, id, clr, enc, ptt;
    // The dBm text ("-90", "Max", "-") of a package that gave a decoded line
    // or is a signal report (the only packages with an RSSI-only line);
    // empty otherwise.
    std::string_view dbm;
    // The own position of a signal report decoded live while the GPS port is
    // open and all four own-position texts are known; null otherwise.
    const OwnFix* position = nullptr;
};

}  // namespace zelvar
