#pragma once

#include <string>

struct mosquitto;

namespace zelvar {

// How a station or the collector logs in to the broker.
struct MqttLogin {
    bool tls = false;
    std::string caFile;    // with tls; empty: the system's CAs
    std::string certFile;  // with tls: a client certificate, and its key
    std::string keyFile;
    std::string user;  // empty: anonymous, or the certificate's CN as the broker takes it
    std::string password;
};

// Sets the login on a client before it connects. Throws std::runtime_error
// naming what is wrong: a key file that others may read, a certificate
// without its key, what libmosquitto refuses.
void SetMqttLogin(mosquitto* mosq, const MqttLogin& login);

// Empty when the file is the owner's alone (no rights for group or others,
// as mode 0600 or 0400); else why it is refused, naming `what` and the file.
std::string PrivateFileProblem(const std::string& path, const std::string& what);

}  // namespace zelvar
