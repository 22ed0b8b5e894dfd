#include "MqttLogin.h"

#include <mosquitto.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace zelvar {

std::string PrivateFileProblem(const std::string& path, const std::string& what) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return "cannot read the " + what + " '" + path + "': " + std::strerror(errno);
    }
    if ((st.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        return "the " + what + " '" + path + "' has mode " + mode +
               ", which lets others read or change it: make it 0600";
    }
    return {};
}

void SetMqttLogin(mosquitto* mosq, const MqttLogin& login) {
    auto check = [](int rc, const std::string& what) {
        if (rc != MOSQ_ERR_SUCCESS) throw std::runtime_error(what + ": " + mosquitto_strerror(rc));
    };
    if (!login.user.empty()) {
        check(mosquitto_username_pw_set(mosq, login.user.c_str(),
                                        login.password.empty() ? nullptr : login.password.c_str()),
              "user");
    }
    if (!login.tls) return;
    if (login.certFile.empty() != login.keyFile.empty()) {
        throw std::runtime_error("a client certificate needs its key file, and a key file its certificate");
    }
    if (!login.keyFile.empty()) {
        const std::string problem = PrivateFileProblem(login.keyFile, "key file");
        if (!problem.empty()) throw std::runtime_error(problem);
    }
    // Without a CA file, the system's CAs.
    const char* caFile = login.caFile.empty() ? nullptr : login.caFile.c_str();
    const char* caPath = caFile == nullptr ? "/etc/ssl/certs" : nullptr;
    check(mosquitto_tls_set(mosq, caFile, caPath, login.certFile.empty() ? nullptr : login.certFile.c_str(),
                            login.keyFile.empty() ? nullptr : login.keyFile.c_str(), nullptr),
          "TLS");
}

}  // namespace zelvar
