#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zelvar {

struct CollectOptions {
    std::optional<std::string> database;  // a libpq connection string; empty: the environment
    std::string importFile;
    std::string station;
    std::string settingsFile;  // empty: the user's settings store
    std::string zone;          // of the log's stamps; empty: the local zone
    bool zoneAnew = false;     // import a log again in another zone
    // The service: set when --broker is given.
    std::string brokerHost;
    int brokerPort = 1883;
    std::string prefix = "zelvar";
    std::string clientId = "zelvar-collect";
    std::string caFile;
    std::string certFile;
    std::string keyFile;
    std::string credentialsFile;  // the broker's user and password
    std::string collectorRole;    // with --init: the role the service stores as
    int maxAgeDays = 30;
    bool init = false;     // make or upgrade the schema first
    bool readmit = false;  // store what was refused for its time
    std::string forgetStation;  // take this station away, with --broker
    bool help = false;
};

// Parses the command line (without the program name). On a bad option it
// returns false and says why in error.
bool ParseCollectOptions(const std::vector<std::string>& args, CollectOptions& options,
                         std::string& error);

}  // namespace zelvar
