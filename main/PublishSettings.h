#pragma once

#include <QString>
#include <cstdint>

namespace zelvar {

// What "Options > Publish..." sets, kept in the settings file's general
// section under names beginning with "Publish".
struct PublishSettings {
    bool on = false;
    QString host = QStringLiteral("localhost");
    int port = 1883;
    bool tls = false;
    QString caFile;
    QString certFile;  // with TLS: a client certificate, and its key (readable by the user only)
    QString keyFile;
    QString user;
    QString password;
    bool savePassword = false;  // else the password lasts until the program ends
    QString station;            // empty: the host name
    QString prefix = QStringLiteral("zelvar");
    int outboxMegabytes = 1000;

    bool operator==(const PublishSettings&) const = default;
};

// The station name in force: the one set, else the host name.
QString PublishStation(const PublishSettings& settings);
// Why the settings cannot be used, in the dialog's words; empty when they can.
QString PublishSettingsProblem(const PublishSettings& settings);

PublishSettings LoadPublishSettings(const QString& iniFile);
// Writes them; with the password kept, the file becomes readable by its
// owner only. False when the file could not be written.
bool SavePublishSettings(const QString& iniFile, const PublishSettings& settings);

}  // namespace zelvar
