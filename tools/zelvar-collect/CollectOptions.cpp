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
    } else if (options.importFile.empty()) {
        error = "missing --import FILE.hex";
    } else if (options.station.empty()) {
        error = "missing --station NAME";
    }
    return error.empty();
}

}  // namespace zelvar
