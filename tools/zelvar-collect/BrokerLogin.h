#pragma once

#include <string>

#include "CollectOptions.h"
#include "MqttLogin.h"

namespace zelvar {

// The collector's login to the broker from its options: TLS with --cafile
// or a client certificate; the user and password from the credentials file
// (the user on its first line, the password on its second; the owner's
// alone) or else from ZELVAR_MQTT_USER and ZELVAR_MQTT_PASSWORD, never from
// the command line, where anyone on the machine could read them. False, and
// why in `error`, when the file is refused.
bool LoadBrokerLogin(const CollectOptions& options, MqttLogin& login, std::string& error);

}  // namespace zelvar
