#include "CoverageExport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "LogFormat.h"

namespace zelvar {
namespace {

// A drive-test log as a save writes it (CR LF), with lines of every kind.
std::string sampleLog() {
    std::string log;
    for (const std::string& line : {
             std::string(GpsHeader),
             RssiOwnPositionLine("2", "09.12.2026 14:15:02", "5540.1234,N", "03736.5678,E", "1.8", "-87"),
             RssiPlaceholderLine("1", "09.12.2026 14:15:03", "-90"),
             RssiOwnPositionLine("1", "09.12.2026 14:15:04", "5540.2234,N", "03736.5678,E", "Err", "Max"),
             std::string("unreadable"),
             RssiOwnPositionLine("2", "09.12.2026 14:15:05", "5540.3234,N", "03736.5678,E", "2.5", "-"),
             RssiOwnPositionLine("1", "09.12.2026 14:15:06", "5540.4234,N", "03736.5678,E", "1.2", "-112"),
             std::string("Stop")}) {
        log.append(line).append("\r\n");
    }
    return log;
}

std::string exportOf(std::vector<CoverageSource*> logs, const CoverageOptions& options,
                     CoverageCounts* counts = nullptr) {
    std::string out;
    const CoverageCounts c =
        WriteCoverage(logs, options, [&out](std::string_view piece) { out.append(piece); });
    if (counts != nullptr) *counts = c;
    return out;
}

std::string exportOf(std::string_view log, CoverageOptions options, CoverageCounts* counts = nullptr) {
    TextCoverageSource source(log);
    return exportOf({&source}, options, counts);
}

CoverageOptions as(CoverageFormat format) {
    CoverageOptions options;
    options.format = format;
    options.gmtCorrection = 4;
    return options;
}

TEST(CoverageExportTest, CsvAndGeoJsonKeepLogOrderAndEveryLevel) {
    CoverageCounts counts;
    EXPECT_EQ(exportOf(sampleLog(), as(CoverageFormat::Csv), &counts),
              "port,time,lat,lon,pdop,dbm,dbm_value\r\n"
              "2,2026-12-09T10:15:02Z,55.668723,37.609463,1.8,-87,-87\r\n"
              "1,2026-12-09T10:15:04Z,55.670390,37.609463,Err,Max,\r\n"
              "2,2026-12-09T10:15:05Z,55.672057,37.609463,2.5,-,\r\n"
              "1,2026-12-09T10:15:06Z,55.673723,37.609463,1.2,-112,-112\r\n");
    EXPECT_EQ(CoverageCountsText(counts),
              "4 reports with position (4 kept), 1 without, 1 unreadable line");
    EXPECT_EQ(exportOf(sampleLog(), as(CoverageFormat::GeoJson)),
              "{\"type\":\"FeatureCollection\",\"features\":[\n"
              "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[37.609463,55.668723]},"
              "\"properties\":{\"port\":2,\"time\":\"2026-12-09T10:15:02Z\",\"dbm\":-87,\"dbm_value\":-87,\"pdop\":1.8}},\n"
              "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[37.609463,55.670390]},"
              "\"properties\":{\"port\":1,\"time\":\"2026-12-09T10:15:04Z\",\"dbm\":\"Max\",\"dbm_value\":null,\"pdop\":null}},\n"
              "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[37.609463,55.672057]},"
              "\"properties\":{\"port\":2,\"time\":\"2026-12-09T10:15:05Z\",\"dbm\":null,\"dbm_value\":null,\"pdop\":2.5}},\n"
              "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[37.609463,55.673723]},"
              "\"properties\":{\"port\":1,\"time\":\"2026-12-09T10:15:06Z\",\"dbm\":-112,\"dbm_value\":-112,\"pdop\":1.2}}\n"
              "]}\n");
    // No report at all is still a whole document.
    EXPECT_EQ(exportOf("", as(CoverageFormat::GeoJson)),
              "{\"type\":\"FeatureCollection\",\"features\":[\n]}\n");
}

TEST(CoverageExportTest, KmlAndGpxGroupByPortInLogOrder) {
    const std::string kml = exportOf(sampleLog(), as(CoverageFormat::Kml));
    const auto at = [&kml](std::string_view text) { return kml.find(text); };
    ASSERT_NE(at("<name>Port 2</name>"), std::string::npos);
    EXPECT_LT(at("<name>Port 1</name>"), at("10:15:04Z</when>"));
    EXPECT_LT(at("10:15:04Z</when>"), at("10:15:06Z</when>"));
    EXPECT_LT(at("10:15:06Z</when>"), at("<name>Port 2</name>"));
    EXPECT_LT(at("<name>Port 2</name>"), at("10:15:02Z</when>"));
    EXPECT_LT(at("10:15:02Z</when>"), at("10:15:05Z</when>"));
    // The colour scale: Max the top colour, -112 red, "-" grey.
    EXPECT_NE(at("<Placemark><description>Max, 2026-12-09T10:15:04Z, PDOP Err</description>"
                 "<TimeStamp><when>2026-12-09T10:15:04Z</when></TimeStamp><styleUrl>#band1</styleUrl>"
                 "<Point><coordinates>37.609463,55.670390</coordinates></Point>"),
              std::string::npos);
    EXPECT_NE(at("<description>-112 dBm, "), std::string::npos);
    EXPECT_NE(at("<styleUrl>#band6</styleUrl><ExtendedData><Data name=\"dbm_value\"><value>-112</value></Data>"
                 "</ExtendedData><Point><coordinates>37.609463,55.673723"),
              std::string::npos);
    EXPECT_NE(at("<styleUrl>#none</styleUrl><Point><coordinates>37.609463,55.672057"), std::string::npos);
    EXPECT_NE(at("<Style id=\"band6\"><IconStyle><color>ff0000d0</color>"), std::string::npos);
    EXPECT_NE(at("<description>Each point is one signal report, coloured by its level: green Max "
                 "and -70 dBm or more, yellow-green -71 to -80 dBm, yellow -81 to -90 dBm, orange "
                 "-91 to -100 dBm, dark orange -101 to -109 dBm, red -110 dBm or less, grey no "
                 "reading.</description>"),
              std::string::npos);

    const std::string gpx = exportOf(sampleLog(), as(CoverageFormat::Gpx));
    EXPECT_NE(gpx.find("<trk>\n<name>Port 1</name>\n<trkseg>\n"
                       "<trkpt lat=\"55.670390\" lon=\"37.609463\"><time>2026-12-09T10:15:04Z</time>"
                       "<extensions><zelvar:dbm>Max</zelvar:dbm></extensions></trkpt>\n"
                       "<trkpt lat=\"55.673723\" lon=\"37.609463\"><time>2026-12-09T10:15:06Z</time>"
                       "<pdop>1.2</pdop><extensions><zelvar:dbm>-112</zelvar:dbm><zelvar:dbm_value>-112</zelvar:dbm_value></extensions></trkpt>\n"
                       "</trkseg>\n</trk>\n<trk>\n<name>Port 2</name>\n"),
              std::string::npos)
        << gpx;
    EXPECT_TRUE(gpx.ends_with("<pdop>2.5</pdop></trkpt>\n</trkseg>\n</trk>\n</gpx>\n"));
}

TEST(CoverageExportTest, FiltersKeepWhatTheyPromise) {
    CoverageOptions options = as(CoverageFormat::Csv);
    CoverageCounts counts;
    options.minDbm = -100;  // keeps -87 and Max, drops -112 and "-"
    EXPECT_EQ(exportOf(sampleLog(), options, &counts),
              "port,time,lat,lon,pdop,dbm,dbm_value\r\n"
              "2,2026-12-09T10:15:02Z,55.668723,37.609463,1.8,-87,-87\r\n"
              "1,2026-12-09T10:15:04Z,55.670390,37.609463,Err,Max,\r\n");
    EXPECT_EQ(counts.withPosition, 4u);
    EXPECT_EQ(counts.kept, 2u);
    options.minDbm.reset();
    options.maxPdop = 1.8;  // drops "Err" and 2.5
    options.ports = {1, 3};
    EXPECT_EQ(exportOf(sampleLog(), options),
              "port,time,lat,lon,pdop,dbm,dbm_value\r\n"
              "1,2026-12-09T10:15:06Z,55.673723,37.609463,1.2,-112,-112\r\n");
    // A port without kept reports gets no folder.
    options.format = CoverageFormat::Kml;
    EXPECT_EQ(exportOf(sampleLog(), options).find("Port 2"), std::string::npos);
    options.ports = {2};
    const std::string onlyPort2 = exportOf(sampleLog(), options);
    EXPECT_EQ(onlyPort2.find("Port 1"), std::string::npos);
    EXPECT_TRUE(onlyPort2.ends_with("PDOP 1.8</description><TimeStamp><when>2026-12-09T10:15:02Z"
                                    "</when></TimeStamp><styleUrl>#band3</styleUrl><ExtendedData><Data name=\"dbm_value\">"
                                    "<value>-87</value></Data></ExtendedData><Point><coordinates>"
                                    "37.609463,55.668723</coordinates></Point></Placemark>\n"
                                    "</Folder>\n</Document>\n</kml>\n"))
        << onlyPort2;
}

TEST(CoverageExportTest, ReadsLogFilesInArgumentOrderAnyLineEnd) {
    char name[] = "/tmp/coverage-testXXXXXX";
    const int fd = ::mkstemp(name);
    ASSERT_GE(fd, 0);
    ::unlink(name);
    // LF line ends this time, no header, and a line too long to be a log line.
    const std::string lfLog =
        RssiOwnPositionLine("3", "10.12.2026 01:00:00", "0000.0000,N", "00000.0000,E", "1.0", "-60") +
        "\n" + std::string(std::size_t{1} << 21, 'x') + "\n";
    ASSERT_EQ(::write(fd, lfLog.data(), lfLog.size()), static_cast<ssize_t>(lfLog.size()));
    FileCoverageSource file(fd);
    const std::string crLfLog = sampleLog();
    TextCoverageSource text(crLfLog);
    CoverageCounts counts;
    const std::string gpx = exportOf({&text, &file}, as(CoverageFormat::Gpx), &counts);
    EXPECT_EQ(counts.withPosition, 5u);
    EXPECT_EQ(counts.unreadable, 2u);
    EXPECT_NE(gpx.find("<name>Port 3</name>\n<trkseg>\n<trkpt lat=\"0.000000\" lon=\"0.000000\">"
                       "<time>2026-12-10T21:00:00Z</time>"),
              std::string::npos);
    const std::string csv = exportOf({&file, &text}, as(CoverageFormat::Csv));
    EXPECT_TRUE(csv.starts_with("port,time,lat,lon,pdop,dbm,dbm_value\r\n3,")) << csv;
    EXPECT_TRUE(HasOwnPositionLine(file, 4));
    const std::string placeholderOnly = RssiPlaceholderLine("1", "09.12.2026 14:15:03", "-90");
    TextCoverageSource none(placeholderOnly);
    EXPECT_FALSE(HasOwnPositionLine(none, 4));
    ::close(fd);
}

}  // namespace
}  // namespace zelvar
