#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "CoverageLine.h"

namespace zelvar {

enum class CoverageFormat { Kml, Gpx, GeoJson, Csv };

// "kml", "gpx", "geojson", "csv".
std::optional<CoverageFormat> CoverageFormatNamed(std::string_view name);
std::string_view CoverageFormatName(CoverageFormat format);

// The fixed colour scale of the map, strongest first; a report without a
// reading is grey.
struct SignalBand {
    int floorDbm;           // the weakest reading of the band
    std::string_view name;  // "green"
    std::string_view rgb;   // "00c000"
};
inline constexpr SignalBand kSignalBands[] = {
    {-70, "green", "00c000"},       {-80, "yellow-green", "9acd32"},
    {-90, "yellow", "ffd700"},      {-100, "orange", "ff8c00"},
    {-109, "dark orange", "ff4500"}, {-2147483647 - 1, "red", "d00000"},
};
inline constexpr SignalBand kNoReadingBand = {0, "grey", "808080"};

// The band of a report: "Max" takes the strongest.
const SignalBand& SignalBandOf(const CoverageReport& report);

// Writes one export format into `out`, which the caller empties as it likes.
// Reports come in log order; a format that groups by port gets them port by
// port, each group between beginPort() and endPort().
class CoverageWriter {
public:
    explicit CoverageWriter(std::string& out) : out_(out) {}
    virtual ~CoverageWriter() = default;
    CoverageWriter(const CoverageWriter&) = delete;
    CoverageWriter& operator=(const CoverageWriter&) = delete;

    virtual bool groupsByPort() const { return false; }
    virtual void begin() = 0;
    virtual void beginPort(int /*port*/) {}
    virtual void report(const CoverageReport& report) = 0;
    virtual void endPort() {}
    virtual void end() = 0;

protected:
    std::string& out_;
};

std::unique_ptr<CoverageWriter> MakeCoverageWriter(CoverageFormat format, std::string& out);

}  // namespace zelvar
