#include "NmeaReader.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "NmeaFields.h"

namespace zelvar {

namespace {

const std::string& field(const std::vector<std::string>& fields, std::size_t i) {
    static const std::string empty;
    return i < fields.size() ? fields[i] : empty;
}

// A DOP counts when it looks like a number; "0" is what the receiver sends
// (or an empty field became) when it has none.
bool countsAsDop(const std::string& text) {
    return !text.empty() && ((text[0] >= '0' && text[0] <= '9') || text[0] == '.');
}

std::string sub(const std::string& text, std::size_t from, std::size_t count) {
    return from < text.size() ? text.substr(from, count) : std::string();
}

}  // namespace

NmeaReader::NmeaReader(const Settings& settings, OwnFix& fix) : settings_(settings), fix_(fix) {}

bool NmeaReader::Receive(std::string_view bytes) {
    if (bytes.empty()) return false;
    buffer_.append(bytes);
    if (bytes.back() != '\r') {
        if (buffer_.size() > kMaxBuffer) buffer_.clear();
        return false;
    }
    takeLine();
    buffer_.clear();
    return true;
}

void NmeaReader::Reset() {
    fix_ = OwnFix{};
    lastRmcTime_.clear();
    buffer_.clear();
    labels_ = GpsLabels{};
}

void NmeaReader::takeLine() {
    // The buffer normally starts with the previous sentence's line feed and
    // the "$": the identifier is what follows them.
    const std::string id = sub(buffer_, 2, 5);
    if (id != "GPRMC" && id != "GPGSA") return;
    std::vector<std::string> fields = SplitNmeaFields(buffer_);
    const bool taken = id == "GPRMC" ? takeRmc(fields) : takeGsa(fields);
    if (!taken) ++dropped_;
}

bool NmeaReader::takeGsa(std::vector<std::string>& fields) {
    std::optional<std::string> pdop;
    for (std::size_t j = 2; j < fields.size(); ++j) {
        // assign(1, ...) rather than = "0": GCC 12 at -O3 takes the latter for an
        // overlapping copy (a false -Wrestrict).
        if (fields[j].empty()) fields[j].assign(1, '0');
        const std::size_t star = fields[j].find('*');
        if (star == std::string::npos) continue;
        // The receiver's own PDOP is not trusted; it is recomputed from HDOP and VDOP.
        const std::string& hdop = fields[j - 1];
        const std::string vdop = fields[j].substr(0, star);
        if (countsAsDop(hdop) && countsAsDop(vdop) && hdop != "0" && vdop != "0") {
            const std::optional<float> h = NmeaFloat(hdop);
            const std::optional<float> v = NmeaFloat(vdop);
            if (!h || !v) return false;
            const float p = std::sqrt(*h * *h + *v * *v);
            if (!std::isfinite(p)) return false;
            char text[64];
            std::snprintf(text, sizeof text, "%2.1f", static_cast<double>(p));
            pdop = text;
        } else {
            pdop = "Err";
        }
    }
    if (pdop) {
        fix_.PdopText = *pdop;
        labels_.pdop = "PDOP: " + *pdop;
    }
    return true;
}

bool NmeaReader::takeRmc(const std::vector<std::string>& fields) {
    const std::string& time = field(fields, 1);
    if (time == lastRmcTime_ || field(fields, 2) != "A") {
        fix_.RmcDate.clear();
        fix_.RmcTime.clear();
        fix_.LatText.clear();
        fix_.LonText.clear();
        labels_.time = "GPS";
        labels_.lat.clear();
        labels_.lon.clear();
        lastRmcTime_ = time;
        return true;
    }
    const std::string& date = field(fields, 9);
    std::string dateTime;
    if (!time.empty() && !date.empty()) {
        const std::optional<int> utcHour = NmeaInteger(sub(time, 0, 2));
        if (!utcHour) return false;
        const long long shifted = static_cast<long long>(*utcHour) + settings_.GMTCorrection;
        const int hour = static_cast<int>((shifted % 24 + 24) % 24);
        const std::string hourText = (hour < 10 ? "0" : "") + std::to_string(hour);
        dateTime = sub(date, 0, 2) + "." + sub(date, 2, 2) + ".20" + sub(date, 4, 2) + " " + hourText +
                   ":" + sub(time, 2, 2) + ":" + sub(time, 4, 2);
    }
    fix_.DateTimeText = dateTime;
    fix_.RmcTime = time;
    fix_.LatText = field(fields, 3) + "," + field(fields, 4);
    fix_.LonText = field(fields, 5) + "," + field(fields, 6);
    fix_.RmcDate = date;
    labels_.time = fix_.DateTimeText;
    labels_.lat = "Lat: " + fix_.LatText;
    labels_.lon = "Lon: " + fix_.LonText;
    lastRmcTime_ = time;
    return true;
}

}  // namespace zelvar
