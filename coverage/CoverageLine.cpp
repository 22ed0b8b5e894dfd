#include "CoverageLine.h"

#include <array>
#include <charconv>

#include "DateTime.h"
#include "LogFormat.h"
#include "NmeaPosition.h"

namespace zelvar {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The log pads some columns with blanks to their header's width.
std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// Splits at TABs into at most `N` fields; the count of fields found, which is
// N + 1 when there are more.
template <std::size_t N>
std::size_t splitFields(std::string_view line, std::array<std::string_view, N>& fields) {
    std::size_t count = 0;
    while (true) {
        const std::size_t tab = line.find('\t');
        if (count == N) return N + 1;
        fields[count++] = line.substr(0, tab);
        if (tab == std::string_view::npos) return count;
        line.remove_prefix(tab + 1);
    }
}

int portOf(std::string_view field) {
    field = trimmed(field);
    if (field.size() != 1 || field[0] < '1' || field[0] > '4') return 0;
    return field[0] - '0';
}

int twoDigits(const char* p) { return (p[0] - '0') * 10 + (p[1] - '0'); }

// "dd.mm.yyyy hh:mm:ss" (the time text or the GPS's date and time), checked
// for a real date and time of day.
bool readTimeText(std::string_view text, int& year, int& month, int& day, int& hour,
                  int& minute, int& second) {
    static constexpr std::string_view kShape = "00.00.0000 00:00:00";
    if (text.size() != kShape.size()) return false;
    for (std::size_t i = 0; i < kShape.size(); ++i) {
        if (kShape[i] == '0' ? !isDigit(text[i]) : text[i] != kShape[i]) return false;
    }
    const char* p = text.data();
    day = twoDigits(p);
    month = twoDigits(p + 3);
    year = twoDigits(p + 6) * 100 + twoDigits(p + 8);
    hour = twoDigits(p + 11);
    minute = twoDigits(p + 14);
    second = twoDigits(p + 17);
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) {
        return false;
    }
    // A day past its month's end comes back as another date.
    int y = 0, m = 0, d = 0;
    CivilFromDays(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)),
                  y, m, d);
    return y == year && m == month && d == day;
}

void putDigits(char* at, int value, int count) {
    for (int i = count - 1; i >= 0; --i) {
        at[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

bool readUtcTime(std::string_view text, int gmtCorrection, char (&out)[21]) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!readTimeText(text, year, month, day, hour, minute, second)) return false;
    const long long utcHour = ((hour - static_cast<long long>(gmtCorrection)) % 24 + 24) % 24;
    std::char_traits<char>::copy(out, "0000-00-00T00:00:00Z", 21);
    putDigits(out, year, 4);
    putDigits(out + 5, month, 2);
    putDigits(out + 8, day, 2);
    putDigits(out + 11, static_cast<int>(utcHour), 2);
    putDigits(out + 14, minute, 2);
    putDigits(out + 17, second, 2);
    return true;
}

// A position field "ddmm.mmmm,N" whose hemisphere is one of the two given.
bool readPosition(std::string_view field, char plus, char minus, std::int64_t& micro) {
    if (field.empty() || (field.back() != plus && field.back() != minus)) return false;
    const auto value = NmeaMicrodegrees(field);
    if (!value) return false;
    micro = *value;
    return true;
}

// A PDOP is written with one decimal; any plain decimal number is taken, and
// is then also a valid JSON number.
bool readPdop(std::string_view field, CoverageReport& report) {
    report.pdopText = field;
    if (field == "Err") {
        report.pdopKnown = false;
        return true;
    }
    const std::size_t point = field.find('.');
    const std::string_view whole = field.substr(0, point);
    if (whole.empty() || (whole.size() > 1 && whole[0] == '0')) return false;
    for (const char c : whole) {
        if (!isDigit(c)) return false;
    }
    if (point != std::string_view::npos) {
        const std::string_view decimals = field.substr(point + 1);
        if (decimals.empty()) return false;
        for (const char c : decimals) {
            if (!isDigit(c)) return false;
        }
    }
    const auto [end, error] =
        std::from_chars(field.data(), field.data() + field.size(), report.pdop);
    report.pdopKnown = error == std::errc{} && end == field.data() + field.size();
    return report.pdopKnown;
}

bool readDbm(std::string_view field, CoverageReport& report) {
    if (field.empty()) {
        report.dbmForm = DbmForm::Empty;
    } else if (field == "-") {
        report.dbmForm = DbmForm::Dash;
    } else if (field == "Max") {
        report.dbmForm = DbmForm::Max;
    } else {
        if (field.front() == '+' || (field.size() > 1 && field[field[0] == '-'] == '0')) {
            return false;
        }
        const auto [end, error] =
            std::from_chars(field.data(), field.data() + field.size(), report.dbm);
        if (error != std::errc{} || end != field.data() + field.size()) return false;
        report.dbmForm = DbmForm::Number;
    }
    return true;
}

bool isTimeField(std::string_view field) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    return field == TimeUnknownText || field == trimmed(TimeUnknownText) ||
           readTimeText(trimmed(field), year, month, day, hour, minute, second);
}

bool isDbmField(std::string_view field) {
    CoverageReport ignored;
    return readDbm(trimmed(field), ignored);
}

}  // namespace

int CoverageLinePort(std::string_view line) {
    return portOf(line.substr(0, line.find('\t')));
}

CoverageLineKind ReadCoverageLine(std::string_view line, int gmtCorrection,
                                  CoverageReport& report) {
    std::array<std::string_view, 6> fields;
    const std::size_t count = splitFields(line, fields);
    if (count == 6 && (report.port = portOf(fields[0])) != 0) {
        const std::string_view lat = trimmed(fields[2]);
        const std::string_view lon = trimmed(fields[3]);
        const std::string_view pdop = trimmed(fields[4]);
        if (lat == "-" && lon == "-" && pdop == "-") {
            return isTimeField(fields[1]) && isDbmField(fields[5])
                       ? CoverageLineKind::WithoutPosition
                       : CoverageLineKind::Unreadable;
        }
        if (!readUtcTime(trimmed(fields[1]), gmtCorrection, report.time) ||
            !readPosition(lat, 'N', 'S', report.lat) ||
            !readPosition(lon, 'E', 'W', report.lon) || !readPdop(pdop, report) ||
            !readDbm(trimmed(fields[5]), report)) {
            return CoverageLineKind::Unreadable;
        }
        return CoverageLineKind::WithPosition;
    }
    if (count == 3 && portOf(fields[0]) != 0 && isTimeField(fields[1]) &&
        isDbmField(fields[2])) {
        return CoverageLineKind::WithoutPosition;
    }
    // What else a text log holds: the column headers, the titles and end
    // markers of decodings, "Stop", and the decoded lines of ten columns.
    const std::string_view whole = trimmed(line);
    if (whole.empty() || line == GpsHeader || line == RssiHeader || line == TextHeader ||
        whole == EndMarker || whole == AbortMarker || whole == "Stop" ||
        whole.starts_with("File: ") || whole.starts_with("Editor Data: ")) {
        return CoverageLineKind::Other;
    }
    if (count > 6) {
        std::array<std::string_view, 10> decoded;
        if (splitFields(line, decoded) == 10 && portOf(decoded[1]) != 0) {
            return CoverageLineKind::Other;
        }
    }
    return CoverageLineKind::Unreadable;
}

}  // namespace zelvar
