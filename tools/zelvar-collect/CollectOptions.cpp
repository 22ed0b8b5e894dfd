#include "CollectOptions.h"

#include "Arguments.h"
#include "PackageJson.h"

namespace zelvar {

bool ParseCollectOptions(const std::vector<std::string>& args, CollectOptions& options,
                         std::string& error) {
    Arguments arguments(args);
    while (arguments.next()) {
        auto take = [&](std::string& target, bool mayBeEmpty) {
            const std::optional<std::string> value = arguments.value();
            if (!value || (!mayBeEmpty && value->empty())) {
                error = "option " + arguments.name() + " needs a value";
                return false;
            }
            target = *value;
            return true;
        };
        if (arguments.isFlag("--help") || arguments.isFlag("-h")) {
            options.help = true;
        } else if (arguments.isFlag("--init")) {
            options.init = true;
        } else if (arguments.isFlag("--zone-anew")) {
            options.zoneAnew = true;
        } else if (arguments.is("--zone")) {
            if (!take(options.zone, false)) return false;
        } else if (arguments.is("--forget-station")) {
            if (!take(options.forgetStation, false)) return false;
            if (!ValidStationName(options.forgetStation)) {
                error = "option --forget-station needs a station name";
                return false;
            }
        } else if (arguments.isFlag("--readmit")) {
            options.readmit = true;
        } else if (arguments.is("--max-age")) {
            std::string days;
            if (!take(days, false)) return false;
            const auto parsed = ParseNumber<int>(days);
            if (!parsed || *parsed < 1 || *parsed > 36500) {
                error = "option --max-age needs a number of days from 1 to 36500";
                return false;
            }
            options.maxAgeDays = *parsed;
        } else if (arguments.is("--database")) {
            // An empty connection string is libpq's environment.
            if (!take(options.database.emplace(), true)) return false;
        } else if (arguments.is("--import")) {
            if (!take(options.importFile, false)) return false;
        } else if (arguments.is("--station")) {
            if (!take(options.station, false)) return false;
            if (!ValidStationName(options.station)) {
                error = "option --station needs a name without '/', '+', '#' or control characters";
                return false;
            }
        } else if (arguments.is("--broker")) {
            std::string broker;
            if (!take(broker, false)) return false;
            // HOST or HOST:PORT; an IPv6 address in brackets.
            const std::size_t colon = broker.rfind(':');
            const std::size_t bracket = broker.rfind(']');
            if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
                const auto port = ParseNumber<int>(std::string_view(broker).substr(colon + 1));
                if (!port || *port < 1 || *port > 65535) {
                    error = "option --broker needs HOST or HOST:PORT with a port from 1 to 65535";
                    return false;
                }
                options.brokerPort = *port;
                broker.resize(colon);
            }
            if (broker.size() > 2 && broker.front() == '[' && broker.back() == ']') {
                broker = broker.substr(1, broker.size() - 2);
            }
            if (broker.empty()) {
                error = "option --broker needs a host";
                return false;
            }
            options.brokerHost = broker;
        } else if (arguments.is("--prefix")) {
            if (!take(options.prefix, false)) return false;
            if (options.prefix.find_first_of("+#") != std::string::npos) {
                error = "option --prefix needs a topic without '+' or '#'";
                return false;
            }
        } else if (arguments.is("--client-id")) {
            if (!take(options.clientId, false)) return false;
        } else if (arguments.is("--cafile")) {
            if (!take(options.caFile, false)) return false;
        } else if (arguments.is("--certfile")) {
            if (!take(options.certFile, false)) return false;
        } else if (arguments.is("--keyfile")) {
            if (!take(options.keyFile, false)) return false;
        } else if (arguments.is("--credentials")) {
            if (!take(options.credentialsFile, false)) return false;
        } else if (arguments.is("--collector-role")) {
            if (!take(options.collectorRole, false)) return false;
        } else if (arguments.is("--settings")) {
            if (!take(options.settingsFile, false)) return false;
        } else {
            error = "unexpected argument " + arguments.argument();
            return false;
        }
    }
    if (options.help) return true;
    if (!options.database) {
        error = "missing --database CONNINFO";
    } else if (!options.collectorRole.empty() && !options.init) {
        error = "--collector-role needs --init";
    } else if (options.certFile.empty() != options.keyFile.empty()) {
        error = "--certfile and --keyfile go together";
    } else if (!options.forgetStation.empty()) {
        if (options.brokerHost.empty()) {
            error = "--forget-station needs --broker, to clear the station's retained topics";
        } else if (!options.importFile.empty() || options.readmit) {
            error = "--forget-station excludes --import and --readmit";
        }
    } else if (options.readmit) {
        if (!options.importFile.empty() || !options.brokerHost.empty()) {
            error = "--readmit excludes --import and --broker";
        }
    } else if (!options.brokerHost.empty()) {
        if (!options.importFile.empty()) error = "--import and --broker exclude each other";
    } else if (options.importFile.empty()) {
        if (!options.init) error = "missing --import FILE.hex, --broker HOST[:PORT] or --init";
    } else if (options.station.empty()) {
        error = "missing --station NAME";
    }
    if (error.empty() && options.importFile.empty() && (!options.zone.empty() || options.zoneAnew)) {
        error = "--zone and --zone-anew go with --import";
    }
    return error.empty();
}

}  // namespace zelvar
