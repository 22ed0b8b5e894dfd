#include "BrokerLogin.h"

#include <cstdlib>
#include <fstream>

namespace zelvar {

namespace {

void dropCarriageReturn(std::string& line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
}

}  // namespace

bool LoadBrokerLogin(const CollectOptions& options, MqttLogin& login, std::string& error) {
    login.tls = !options.caFile.empty() || !options.certFile.empty();
    login.caFile = options.caFile;
    login.certFile = options.certFile;
    login.keyFile = options.keyFile;
    if (!options.credentialsFile.empty()) {
        error = PrivateFileProblem(options.credentialsFile, "credentials file");
        if (!error.empty()) return false;
        std::ifstream in(options.credentialsFile);
        std::getline(in, login.user);
        std::getline(in, login.password);
        dropCarriageReturn(login.user);
        dropCarriageReturn(login.password);
        if (!in || login.user.empty()) {
            error = "the credentials file '" + options.credentialsFile +
                    "' needs the user on its first line and the password on its second";
            return false;
        }
        return true;
    }
    const char* user = std::getenv("ZELVAR_MQTT_USER");
    const char* password = std::getenv("ZELVAR_MQTT_PASSWORD");
    if (user != nullptr) login.user = user;
    if (password != nullptr) login.password = password;
    if (login.user.empty() && !login.password.empty()) {
        error = "ZELVAR_MQTT_PASSWORD needs ZELVAR_MQTT_USER";
        return false;
    }
    return true;
}

}  // namespace zelvar
