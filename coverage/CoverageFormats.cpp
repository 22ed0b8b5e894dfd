#include "CoverageFormats.h"

#include <charconv>

#include "NmeaPosition.h"

namespace zelvar {

namespace {

void appendInt(std::string& out, long long value) {
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

void appendDegrees(std::string& out, std::int64_t micro) { out.append(DegreesText(micro)); }

bool hasReading(const CoverageReport& r) {
    return r.dbmForm == DbmForm::Number || r.dbmForm == DbmForm::Max;
}

// The dBm as the log writes it: a number, "Max", "-" or nothing.
void appendDbmText(std::string& out, const CoverageReport& r) {
    switch (r.dbmForm) {
        case DbmForm::Number: appendInt(out, r.dbm); break;
        case DbmForm::Max: out.append("Max"); break;
        case DbmForm::Dash: out.push_back('-'); break;
        case DbmForm::Empty: break;
    }
}

// The level as a number beside its text, for readers that compute with it:
// nothing for "Max", "-" and none.
void appendDbmValue(std::string& out, const CoverageReport& r, std::string_view none) {
    if (r.dbmForm == DbmForm::Number) {
        appendInt(out, r.dbm);
    } else {
        out.append(none);
    }
}

// The colour scale in words, for the map's legend.
std::string legendText() {
    std::string text = "Each point is one signal report, coloured by its level: ";
    long long ceiling = 0;
    for (const SignalBand& band : kSignalBands) {
        text.append(band.name).append(" ");
        if (&band == &kSignalBands[0]) {
            text.append("Max and ");
            appendInt(text, band.floorDbm);
            text.append(" dBm or more");
        } else if (&band == &std::end(kSignalBands)[-1]) {
            appendInt(text, ceiling);
            text.append(" dBm or less");
        } else {
            appendInt(text, ceiling);
            text.append(" to ");
            appendInt(text, band.floorDbm);
            text.append(" dBm");
        }
        text.append(", ");
        // The last band's floor is the lowest int: no int is below it.
        ceiling = static_cast<long long>(band.floorDbm) - 1;
    }
    text.append(kNoReadingBand.name).append(" no reading.");
    return text;
}

int bandIndex(const SignalBand& band) {
    return static_cast<int>(&band - kSignalBands);
}

class KmlWriter : public CoverageWriter {
public:
    using CoverageWriter::CoverageWriter;
    bool groupsByPort() const override { return true; }

    void begin() override {
        out_.append(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"
            "<Document>\n"
            "<name>Zelvar coverage</name>\n"
            "<description>");
        out_.append(legendText()).append("</description>\n");
        for (const SignalBand& band : kSignalBands) appendStyle(band);
        appendStyle(kNoReadingBand);
    }

    void beginPort(int port) override {
        out_.append("<Folder>\n<name>Port ");
        appendInt(out_, port);
        out_.append("</name>\n");
    }

    void report(const CoverageReport& r) override {
        // No name: a label at every point would hide the map.
        out_.append("<Placemark><description>");
        appendLevel(r);
        out_.append(", ").append(r.time).append(", PDOP ").append(r.pdopText);
        out_.append("</description><TimeStamp><when>").append(r.time);
        out_.append("</when></TimeStamp><styleUrl>#");
        appendStyleId(SignalBandOf(r));
        out_.append("</styleUrl>");
        if (r.dbmForm == DbmForm::Number) {
            out_.append("<ExtendedData><Data name=\"dbm_value\"><value>");
            appendInt(out_, r.dbm);
            out_.append("</value></Data></ExtendedData>");
        }
        out_.append("<Point><coordinates>");
        appendDegrees(out_, r.lon);
        out_.push_back(',');
        appendDegrees(out_, r.lat);
        out_.append("</coordinates></Point></Placemark>\n");
    }

    void endPort() override { out_.append("</Folder>\n"); }

    void end() override { out_.append("</Document>\n</kml>\n"); }

private:
    void appendStyleId(const SignalBand& band) {
        if (&band == &kNoReadingBand) {
            out_.append("none");
        } else {
            out_.append("band");
            appendInt(out_, bandIndex(band) + 1);
        }
    }

    void appendStyle(const SignalBand& band) {
        out_.append("<Style id=\"");
        appendStyleId(band);
        // KML colours are alpha, blue, green, red.
        const std::string_view rgb = band.rgb;
        out_.append("\"><IconStyle><color>ff");
        out_.append(rgb.substr(4, 2)).append(rgb.substr(2, 2)).append(rgb.substr(0, 2));
        out_.append(
            "</color><scale>0.6</scale><Icon><href>"
            "http://maps.google.com/mapfiles/kml/shapes/shaded_dot.png"
            "</href></Icon></IconStyle></Style>\n");
    }

    void appendLevel(const CoverageReport& r) {
        if (r.dbmForm == DbmForm::Number) {
            appendInt(out_, r.dbm);
            out_.append(" dBm");
        } else if (r.dbmForm == DbmForm::Max) {
            out_.append("Max");
        } else {
            out_.append("no reading");
        }
    }
};

class GpxWriter : public CoverageWriter {
public:
    using CoverageWriter::CoverageWriter;
    bool groupsByPort() const override { return true; }

    void begin() override {
        out_.append(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<gpx version=\"1.1\" creator=\"Zelvar\" "
            "xmlns=\"http://www.topografix.com/GPX/1/1\" "
            "xmlns:zelvar=\"urn:x-zelvar:coverage:1\">\n");
    }

    void beginPort(int port) override {
        out_.append("<trk>\n<name>Port ");
        appendInt(out_, port);
        out_.append("</name>\n<trkseg>\n");
    }

    void report(const CoverageReport& r) override {
        out_.append("<trkpt lat=\"");
        appendDegrees(out_, r.lat);
        out_.append("\" lon=\"");
        appendDegrees(out_, r.lon);
        out_.append("\"><time>").append(r.time).append("</time>");
        if (r.pdopKnown) out_.append("<pdop>").append(r.pdopText).append("</pdop>");
        // Without a reading there is no level to give.
        if (hasReading(r)) {
            out_.append("<extensions><zelvar:dbm>");
            appendDbmText(out_, r);
            out_.append("</zelvar:dbm>");
            if (r.dbmForm == DbmForm::Number) {
                out_.append("<zelvar:dbm_value>");
                appendInt(out_, r.dbm);
                out_.append("</zelvar:dbm_value>");
            }
            out_.append("</extensions>");
        }
        out_.append("</trkpt>\n");
    }

    void endPort() override { out_.append("</trkseg>\n</trk>\n"); }

    void end() override { out_.append("</gpx>\n"); }
};

class GeoJsonWriter : public CoverageWriter {
public:
    using CoverageWriter::CoverageWriter;

    void begin() override { out_.append("{\"type\":\"FeatureCollection\",\"features\":["); }

    void report(const CoverageReport& r) override {
        out_.append(first_ ? "\n" : ",\n");
        first_ = false;
        out_.append("{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[");
        appendDegrees(out_, r.lon);
        out_.push_back(',');
        appendDegrees(out_, r.lat);
        out_.append("]},\"properties\":{\"port\":");
        appendInt(out_, r.port);
        out_.append(",\"time\":\"").append(r.time).append("\",\"dbm\":");
        switch (r.dbmForm) {
            case DbmForm::Number: appendInt(out_, r.dbm); break;
            case DbmForm::Max: out_.append("\"Max\""); break;
            case DbmForm::Dash:
            case DbmForm::Empty: out_.append("null"); break;
        }
        out_.append(",\"dbm_value\":");
        appendDbmValue(out_, r, "null");
        out_.append(",\"pdop\":");
        out_.append(r.pdopKnown ? r.pdopText : std::string_view("null"));
        out_.append("}}");
    }

    void end() override { out_.append("\n]}\n"); }

private:
    bool first_ = true;
};

class CsvWriter : public CoverageWriter {
public:
    using CoverageWriter::CoverageWriter;

    void begin() override { out_.append("port,time,lat,lon,pdop,dbm,dbm_value\r\n"); }

    void report(const CoverageReport& r) override {
        appendInt(out_, r.port);
        out_.push_back(',');
        out_.append(r.time).push_back(',');
        appendDegrees(out_, r.lat);
        out_.push_back(',');
        appendDegrees(out_, r.lon);
        out_.push_back(',');
        out_.append(r.pdopText).push_back(',');
        appendDbmText(out_, r);
        out_.push_back(',');
        appendDbmValue(out_, r, "");
        out_.append("\r\n");
    }

    void end() override {}
};

}  // namespace

std::optional<CoverageFormat> CoverageFormatNamed(std::string_view name) {
    for (const CoverageFormat format :
         {CoverageFormat::Kml, CoverageFormat::Gpx, CoverageFormat::GeoJson, CoverageFormat::Csv}) {
        if (CoverageFormatName(format) == name) return format;
    }
    return std::nullopt;
}

std::string_view CoverageFormatName(CoverageFormat format) {
    switch (format) {
        case CoverageFormat::Kml: return "kml";
        case CoverageFormat::Gpx: return "gpx";
        case CoverageFormat::GeoJson: return "geojson";
        case CoverageFormat::Csv: return "csv";
    }
    return "";
}

const SignalBand& SignalBandOf(const CoverageReport& report) {
    if (report.dbmForm == DbmForm::Max) return kSignalBands[0];
    if (report.dbmForm != DbmForm::Number) return kNoReadingBand;
    for (const SignalBand& band : kSignalBands) {
        if (report.dbm >= band.floorDbm) return band;
    }
    return std::end(kSignalBands)[-1];
}

std::unique_ptr<CoverageWriter> MakeCoverageWriter(CoverageFormat format, std::string& out) {
    switch (format) {
        case CoverageFormat::Kml: return std::make_unique<KmlWriter>(out);
        case CoverageFormat::Gpx: return std::make_unique<GpxWriter>(out);
        case CoverageFormat::GeoJson: return std::make_unique<GeoJsonWriter>(out);
        case CoverageFormat::Csv: return std::make_unique<CsvWriter>(out);
    }
    return nullptr;
}

}  // namespace zelvar
