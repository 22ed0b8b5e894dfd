#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <exception>
#include <iostream>
#include <optional>
#include <system_error>

#include "CollectOptions.h"
#ifdef ZELVAR_COLLECT_SERVICE
#include "BrokerLogin.h"
#include "CollectService.h"
#include "ForgetStation.h"
#include "Readmit.h"
#endif
#include "LogImport.h"
#include "LogZone.h"
#include "PackageStore.h"
#include "ReadWholeFile.h"
#include "Schema.h"
#include "ToolMain.h"
#include "ToolSettings.h"

namespace {

constexpr const char* kUsage =
    "Usage: zelvar-collect --database CONNINFO --init [--collector-role ROLE]\n"
    "       zelvar-collect --database CONNINFO [--init] --import FILE.hex --station NAME\n"
    "                      [--settings FILE] [--zone ZONE [--zone-anew]]\n"
    "       zelvar-collect --database CONNINFO [--init] --broker HOST[:PORT]\n"
    "                      [--prefix zelvar] [--client-id ID] [--cafile FILE]\n"
    "                      [--certfile FILE --keyfile FILE] [--credentials FILE]\n"
    "                      [--max-age DAYS]\n"
    "       zelvar-collect --database CONNINFO --readmit [--station NAME]\n"
    "       zelvar-collect --database CONNINFO --forget-station NAME --broker HOST[:PORT]\n"
    "                      [--prefix zelvar] [--cafile FILE] [--certfile FILE --keyfile FILE]\n"
    "                      [--credentials FILE]\n"
    "\n"
    "Stores every package of a saved Zelvar hex log in the PostgreSQL table\n"
    "\"packages\" (in the connection's default schema), one row for each\n"
    "package zelvar-decode counts in that log. Importing the same log again\n"
    "stores nothing twice; one interrupted is finished so. Each import is kept\n"
    "in the table \"imports\" with its zone, and unfinished until all is stored.\n"
    "\n"
    "  --database CONNINFO  a libpq connection string (\"host=db dbname=radio\",\n"
    "                       \"postgresql://...\"); an empty one takes libpq's\n"
    "                       environment: PGHOST, PGPORT, PGUSER, PGDATABASE ...\n"
    "  --init               first make the tables, or upgrade those of an earlier\n"
    "                       version with what they hold (as their owner); alone,\n"
    "                       only that. Nothing else changes the tables, and a\n"
    "                       collector that finds none or another version stops.\n"
    "  --collector-role ROLE with --init: ROLE may store and nothing more: INSERT\n"
    "                       on packages and refused, its imports noted in imports, a\n"
    "                       day's partition made by the owner's function\n"
    "                       zelvar_make_day\n"
    "  --import FILE.hex    the saved hex log\n"
    "  --station NAME       the station that recorded it (no '/', '+' or '#')\n"
    "  --settings FILE      decode with the settings of FILE, an INI file in the\n"
    "                       format of the settings store; default: the user's\n"
    "  --zone ZONE          the zone the log's stamps were written in: a zone of\n"
    "                       the time zone database (Europe/Moscow), with its\n"
    "                       summer time, or an offset (+03:00) without; default\n"
    "                       the local zone, named on stderr. A local time that a\n"
    "                       change of summer time skips or repeats is read with\n"
    "                       the offset before the change, and counted on stderr.\n"
    "  --zone-anew          import a log again in another zone than the one kept\n"
    "                       in imports, which is refused without it\n"
    "  --help               show this text\n"
    "\n"
    "With --broker it runs as a service: it stores the packages that stations\n"
    "publish to PREFIX/STATION/packages (QoS 1, a persistent session named by\n"
    "--client-id, default zelvar-collect) and, after each commit, confirms them\n"
    "on PREFIX/STATION/ack. It stops on SIGTERM or SIGINT and logs to stderr.\n"
    "  --broker HOST[:PORT] the MQTT broker (port 1883 unless given)\n"
    "  --prefix PREFIX      the first topic level (default zelvar)\n"
    "  --cafile FILE        TLS to the broker, trusting this CA\n"
    "  --certfile FILE, --keyfile FILE\n"
    "                       TLS with this client certificate and its key (mode 0600)\n"
    "  --credentials FILE   the broker's user on the first line, the password on\n"
    "                       the second (mode 0600); else ZELVAR_MQTT_USER and\n"
    "                       ZELVAR_MQTT_PASSWORD from the environment\n"
    "  --max-age DAYS       a package older than this (default 30), or more than a\n"
    "                       day ahead, goes to the table \"refused\" and waits there;\n"
    "                       so do packages of more than 10 days new to the service\n"
    "                       from one station in an hour. Every refused package is\n"
    "                       kept there with its reason, topic and payload (of those\n"
    "                       refused for their data the newest 1,000,000; those\n"
    "                       waiting for their time all), then confirmed to its station.\n"
    "\n"
    "The service keeps what each station says of itself on PREFIX/STATION/status\n"
    "in the table \"stations\", and logs a station name that two hosts use at once.\n"
    "With --forget-station it clears the station's retained status and\n"
    "confirmation on the broker and deletes its row of \"stations\" (as the owner\n"
    "of the tables), and ends; a station still running comes back.\n"
    "\n"
    "With --readmit it stores the packages that wait in \"refused\" for their time\n"
    "(of the station --station names, or of all), whatever their age, and ends.\n"
    "\n"
    "stderr: \"<packages> packages, <new> new\" when done; after a failure of the\n"
    "database, how many of the log's packages are stored.\n"
    "Exit status: 0 when stored, 2 after a one-line message on a bad option, an\n"
    "unreadable file or a database error.\n";

#ifdef ZELVAR_COLLECT_SERVICE
std::atomic<bool> stopRequested{false};

extern "C" void requestStop(int) { stopRequested.store(true); }

// The service's broker, login and database from the options; false, with
// the reason in `error`, when the login is refused.
bool serviceOptions(const zelvar::CollectOptions& options, zelvar::ServiceOptions& service, std::string& error) {
    service.conninfo = *options.database;
    service.host = options.brokerHost;
    service.port = options.brokerPort;
    service.prefix = options.prefix;
    service.clientId = options.clientId;
    service.maxAge = std::chrono::days(options.maxAgeDays);
    return zelvar::LoadBrokerLogin(options, service.login, error);
}

int runService(const zelvar::Tool& tool, const zelvar::CollectOptions& options) {
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    zelvar::ServiceOptions service;
    std::string error;
    if (!serviceOptions(options, service, error)) return tool.fail(error);
    const zelvar::ServiceCounts counts = zelvar::RunCollectService(service, stopRequested);
    std::cerr << "zelvar-collect: " << counts.received << " received, " << counts.rejected
              << " rejected, " << counts.stored << " new\n";
    return 0;
}
#endif

int collect(const zelvar::Tool& tool, const std::vector<std::string>& args) {
    zelvar::CollectOptions options;
    std::string error;
    if (!zelvar::ParseCollectOptions(args, options, error)) {
        return tool.fail(error + " (see --help)");
    }
    if (options.help) return tool.help(kUsage);

    if (options.init) {
        try {
            std::cerr << zelvar::InitDatabase(*options.database, options.collectorRole) << '\n';
        } catch (const zelvar::StoreError& failed) {
            return tool.fail(failed.what());
        }
        if (options.importFile.empty() && options.brokerHost.empty() && !options.readmit &&
            options.forgetStation.empty()) {
            return 0;
        }
    }

#ifdef ZELVAR_COLLECT_SERVICE
    if (options.readmit) {
        try {
            const zelvar::ReadmitCounts counts = zelvar::Readmit(*options.database, options.station);
            std::cerr << counts.readmitted << " re-admitted, " << counts.kept << " kept\n";
            return 0;
        } catch (const zelvar::StoreError& failed) {
            return tool.fail(failed.what());
        }
    }
    if (!options.forgetStation.empty()) {
        zelvar::ServiceOptions service;
        if (!serviceOptions(options, service, error)) return tool.fail(error);
        try {
            std::cerr << zelvar::ForgetStation(service, options.forgetStation) << '\n';
            return 0;
        } catch (const std::exception& failed) {
            return tool.fail(failed.what());
        }
    }
    if (!options.brokerHost.empty()) {
        // A schema it does not know stops the service at once; a database
        // that cannot be reached yet is waited for.
        const std::optional<std::string> wrong = zelvar::WrongSchema(*options.database);
        if (wrong) return tool.fail(*wrong);
        return runService(tool, options);
    }
#else
    if (!options.brokerHost.empty() || options.readmit || !options.forgetStation.empty()) {
        return tool.fail("this build has no MQTT support (libmosquitto)");
    }
#endif

    int logFd = -1;
    try {
        logFd = zelvar::OpenRegularFile(options.importFile);
    } catch (const zelvar::WholeFileError& refused) {
        return tool.fail("cannot read log file '" + options.importFile + "': " + refused.what());
    }

    zelvar::Settings settings;
    if (!zelvar::LoadToolSettings(options.settingsFile, settings, error)) {
        return tool.fail(error);
    }

    try {
        zelvar::LogZone zone(options.zone);
        zelvar::PackageStore store(*options.database);
        const zelvar::ImportRequest request{*options.database, options.importFile, options.station,
                                            options.zoneAnew};
        const zelvar::ImportResult result = zelvar::ImportLog(logFd, request, zone, settings, store);
        ::close(logFd);
        if (zone.isLocal()) std::cerr << "zone " << zone.name() << " (the local zone)\n";
        if (zone.repeated + zone.skipped > 0) {
            std::cerr << "local times read with the offset before the change: " << zone.repeated << " repeated, "
                      << zone.skipped << " skipped\n";
        }
        std::cerr << result.packages << " packages, " << result.stored << " new\n";
        return 0;
    } catch (const zelvar::ZoneError& failed) {
        return tool.fail(failed.what());
    } catch (const zelvar::StoreError& failed) {
        return tool.fail(failed.what());
    } catch (const std::system_error& failed) {
        return tool.fail("cannot read log file '" + options.importFile + "': " +
                         std::strerror(failed.code().value()));
    }
}

}  // namespace

int main(int argc, char** argv) {
    return zelvar::RunTool("zelvar-collect", argc, argv, collect);
}
