// The demo's drive-test log: the GPS emulator's walk read by the NMEA reader
// as from the receiver, and one signal report a second whose level falls with
// the distance from a chosen point (a repeater), decoded live by the package
// decoder with "Display Only RSSI" on and the GPS open. Prints the text log
// as a save writes it (CR LF).
//
//   zelvar-coverage-demo-log [--seconds N] [--point LAT,LON] [--seed N]
#include <cmath>
#include <cstdio>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "Arguments.h"
#include "DateTime.h"
#include "DecoderOutput.h"
#include "GpsWalk.h"
#include "LogFormat.h"
#include "NmeaReader.h"
#include "PackageDecoder.h"

namespace {

// The walk's own start, where the repeater stands unless another point is
// chosen.
constexpr double kStartLat = 48.1173, kStartLon = 11.5167;
constexpr double kMetresPerDegree = 111320.0;

class LogOutput : public zelvar::DecoderOutput {
public:
    void appendTextLine(std::string_view line) override {
        std::cout.write(line.data(), static_cast<std::streamsize>(line.size())) << "\r\n";
    }
};

double distanceMetres(double lat1, double lon1, double lat2, double lon2) {
    const double north = (lat2 - lat1) * kMetresPerDegree;
    const double east = (lon2 - lon1) * kMetresPerDegree * std::cos(lat1 * M_PI / 180.0);
    return std::hypot(north, east);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    zelvar::Arguments arguments(args);
    long seconds = 3600;
    std::uint64_t seed = 7;
    double pointLat = kStartLat;
    double pointLon = kStartLon;
    while (arguments.next()) {
        const std::string value = arguments.value().value_or(std::string());
        if (arguments.is("--seconds") && zelvar::ParseNumber<long>(value)) {
            seconds = *zelvar::ParseNumber<long>(value);
        } else if (arguments.is("--seed") && zelvar::ParseNumber<std::uint64_t>(value)) {
            seed = *zelvar::ParseNumber<std::uint64_t>(value);
        } else if (arguments.is("--point") && value.find(',') != std::string::npos &&
                   zelvar::ParseNumber<double>(value.substr(0, value.find(','))) &&
                   zelvar::ParseNumber<double>(value.substr(value.find(',') + 1))) {
            pointLat = *zelvar::ParseNumber<double>(value.substr(0, value.find(',')));
            pointLon = *zelvar::ParseNumber<double>(value.substr(value.find(',') + 1));
        } else {
            std::cerr << "usage: zelvar-coverage-demo-log [--seconds N] [--point LAT,LON] "
                         "[--seed N]\n";
            return 2;
        }
    }

    zelvar::Settings settings;  // the defaults: GMTCorrection 4, ceiling -60 dBm
    zelvar::DisplayMirrors mirrors;
    mirrors.OnlyRSSI = true;
    zelvar::GpsState gps;
    gps.Connected = true;
    zelvar::NmeaReader reader(settings, gps.fix);
    LogOutput output;
    zelvar::PackageDecoder decoder(settings, mirrors, gps, output);
    decoder.ResetPortState();

    // 9 December 2026, 14:00 UTC.
    const std::int64_t firstUtc = zelvar::DaysFromCivil(2026, 12, 9) * 86400 + 14 * 3600;
    zelvar::gpssim::GpsWalk walk(seed, kStartLat, kStartLon, firstUtc);
    std::mt19937_64 noise(seed);
    std::uniform_real_distribution<double> fading(-3.0, 3.0);
    std::cout << zelvar::GpsHeader << "\r\n";
    for (long i = 0; i <= seconds; ++i) {
        const zelvar::gpssim::GpsEpoch epoch = walk.next();
        // The first report comes before the first fix: a line without position.
        if (i > 0) {
            for (const std::string& body :
                 {zelvar::gpssim::RmcBody(epoch, false), zelvar::gpssim::GsaBody(epoch)}) {
                // Appended piece by piece: GCC 12 at -O3 warns falsely
                // (-Wrestrict) of "literal" + std::string.
                std::string delivery(1, '\n');
                delivery.append(zelvar::gpssim::NmeaSentence(body)).push_back('\r');
                reader.Receive(delivery);
            }
        }
        const double metres = distanceMetres(pointLat, pointLon, epoch.lat, epoch.lon);
        // Linear in the distance rather than realistic: the walk stays within
        // a few hundred metres, and the map should show the whole scale.
        const double dbm = -55.0 - 0.3 * metres + fading(noise);
        const auto raw = static_cast<std::uint16_t>(std::lround(-dbm * 255.0));
        std::array<std::uint8_t, 13> report{};
        report[4] = 0x0F;  // a signal report
        report[11] = static_cast<std::uint8_t>(raw >> 8);
        report[12] = static_cast<std::uint8_t>(raw & 0xFF);
        const std::int64_t local = epoch.utcSeconds + 3600 * settings.GMTCorrection;
        zelvar::CivilTime time;
        zelvar::CivilFromDays(local / 86400, time.year, time.month, time.day);
        time.hour = static_cast<int>(local % 86400 / 3600);
        time.minute = static_cast<int>(local % 3600 / 60);
        time.second = static_cast<int>(local % 60);
        decoder.DecodePackage(report, zelvar::NowStamp(time), zelvar::DecodeMode::Live, 1);
    }
    std::cout.flush();
    return std::cout ? 0 : 1;
}
