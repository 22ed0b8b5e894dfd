#include <unistd.h>

#include <deque>
#include <iostream>
#include <string>
#include <vector>

#include "CoverageCommand.h"
#include "ReadWholeFile.h"
#include "ToolMain.h"
#include "ToolSettings.h"

namespace {

constexpr const char* kUsage =
    "Usage: zelvar-coverage [--format kml|gpx|geojson|csv] [--port N]... [--min-dbm X]\n"
    "                       [--max-pdop P] [--settings FILE] [--gmt-correction H]\n"
    "                       [--output FILE] LOG.txt...\n"
    "\n"
    "Writes the signal reports that saved Zelvar text logs hold with the own\n"
    "position (\"Display Only RSSI\" with the GPS running) as a coverage map:\n"
    "one record per report, in log order (the logs in the order given).\n"
    "\n"
    "  --format F          kml (default): one folder per port, points coloured by\n"
    "                      the signal level; gpx: one track per port, the dBm in\n"
    "                      an extension; geojson: points with the properties port,\n"
    "                      time, dbm and pdop; csv: port,time,lat,lon,pdop,dbm\n"
    "  --port N            only port N (1 to 4); may be given more than once\n"
    "  --min-dbm X         only readings of X dBm or more, and \"Max\"\n"
    "  --max-pdop P        only reports with a PDOP of P or less\n"
    "  --settings FILE     take the time zone (GMTCorrection) the logs were written\n"
    "                      with from FILE, an INI file in the format of the settings\n"
    "                      store; default: the user's store ~/.config/Kavren/Zelvar.conf\n"
    "  --gmt-correction H  the logs were written with this time zone, in hours\n"
    "  --output FILE       write to FILE (through a temporary file); default: stdout\n"
    "  --help              show this text\n"
    "\n"
    "Times are written in UTC: the log shows the receiver's UTC date with the hour\n"
    "shifted by the time zone, and the hour is shifted back on that date.\n"
    "stderr: the counts of reports with position, without, and of unreadable lines\n"
    "as its last line.\n"
    "Exit status: 0 when written, 2 on a bad option, an unreadable file, a failed\n"
    "write, or an output that is one of the inputs.\n";

int cover(const zelvar::Tool& tool, const std::vector<std::string>& args) {
    zelvar::CoverageCommandOptions options;
    std::string error;
    if (!zelvar::ParseCoverageOptions(args, options, error)) {
        return tool.fail(error + " (see --help)");
    }
    if (options.help) return tool.help(kUsage);
    if (options.outputFile.empty()) {
        if (const int closed = tool.checkStdout()) return closed;
    }

    std::deque<zelvar::FileDescriptor> logs;  // descriptors closed on every way out
    std::vector<int> logFds;
    for (const std::string& path : options.logFiles) {
        try {
            // Without a writer, a FIFO would hold open() until one comes.
            logs.emplace_back(zelvar::OpenRegularFile(path));
        } catch (const zelvar::WholeFileError& refused) {
            return tool.fail("cannot read log file '" + path + "': " + refused.what());
        }
        logFds.push_back(logs.back().get());
    }

    std::string settingsPath;
    if (!options.gmtCorrection) {
        zelvar::Settings settings;
        if (!zelvar::LoadToolSettings(options.settingsFile, settings, error, &settingsPath)) {
            return tool.fail(error);
        }
        options.gmtCorrection = settings.GMTCorrection;
    }
    options.coverage.gmtCorrection = *options.gmtCorrection;

    return zelvar::RunCoverage(options, logFds, STDOUT_FILENO, std::cerr, settingsPath);
}

}  // namespace

int main(int argc, char** argv) {
    return zelvar::RunTool("zelvar-coverage", argc, argv, cover);
}
