#include "PublishSettings.h"

#include <QFile>
#include <QSettings>
#include <QSysInfo>

#include "PackageJson.h"
#include "SettingsStore.h"

namespace zelvar {

QString PublishStation(const PublishSettings& settings) {
    return settings.station.isEmpty() ? QSysInfo::machineHostName() : settings.station;
}

QString PublishSettingsProblem(const PublishSettings& settings) {
    if (settings.host.trimmed().isEmpty()) return QStringLiteral("The broker's host is missing.");
    if (settings.port < 1 || settings.port > 65535) {
        return QStringLiteral("The broker's port must be from 1 to 65535.");
    }
    if (!ValidStationName(PublishStation(settings).toStdString())) {
        return QStringLiteral("The station name must not contain '/', '+' or '#'.");
    }
    if (settings.prefix.isEmpty() || settings.prefix.contains(QLatin1Char('+')) ||
        settings.prefix.contains(QLatin1Char('#'))) {
        return QStringLiteral("The topic prefix must be set and must not contain '+' or '#'.");
    }
    if (settings.certFile.isEmpty() != settings.keyFile.isEmpty()) {
        return QStringLiteral("A client certificate needs its key file, and a key file its certificate.");
    }
    if (settings.outboxMegabytes < 1) return QStringLiteral("The outbox needs at least 1 MB.");
    return {};
}

PublishSettings LoadPublishSettings(const QString& iniFile) {
    PublishSettings s;
    if (NoRegularFileAt(iniFile)) return s;
    const QSettings ini(iniFile, QSettings::IniFormat);
    auto text = [&](const char* key, const QString& fallback) {
        return ini.value(QLatin1String(key), fallback).toString();
    };
    auto number = [&](const char* key, int fallback) {
        bool ok = false;
        const int value = ini.value(QLatin1String(key)).toString().toInt(&ok);
        return ok ? value : fallback;
    };
    s.on = number("PublishOn", 0) != 0;
    s.host = text("PublishHost", s.host);
    s.port = number("PublishPort", s.port);
    s.tls = number("PublishTLS", 0) != 0;
    s.caFile = text("PublishCAFile", {});
    s.certFile = text("PublishCertFile", {});
    s.keyFile = text("PublishKeyFile", {});
    s.user = text("PublishUser", {});
    s.savePassword = number("PublishSavePassword", 0) != 0;
    if (s.savePassword) s.password = text("PublishPassword", {});
    s.station = text("PublishStation", {});
    s.prefix = text("PublishPrefix", s.prefix);
    s.outboxMegabytes = number("PublishOutboxMB", s.outboxMegabytes);
    return s;
}

bool SavePublishSettings(const QString& iniFile, const PublishSettings& s) {
    if (NoRegularFileAt(iniFile)) return false;
    {
        QSettings ini(iniFile, QSettings::IniFormat);
        auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
        ini.setValue(QStringLiteral("PublishOn"), flag(s.on));
        ini.setValue(QStringLiteral("PublishHost"), s.host);
        ini.setValue(QStringLiteral("PublishPort"), QString::number(s.port));
        ini.setValue(QStringLiteral("PublishTLS"), flag(s.tls));
        ini.setValue(QStringLiteral("PublishCAFile"), s.caFile);
        ini.setValue(QStringLiteral("PublishCertFile"), s.certFile);
        ini.setValue(QStringLiteral("PublishKeyFile"), s.keyFile);
        ini.setValue(QStringLiteral("PublishUser"), s.user);
        ini.setValue(QStringLiteral("PublishSavePassword"), flag(s.savePassword));
        if (s.savePassword) {
            // Readable by the owner only before the password goes in.
            if (!QFile::exists(iniFile)) {
                QFile(iniFile).open(QIODevice::WriteOnly);
            }
            QFile::setPermissions(iniFile, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            ini.setValue(QStringLiteral("PublishPassword"), s.password);
        } else {
            ini.remove(QStringLiteral("PublishPassword"));
        }
        ini.setValue(QStringLiteral("PublishStation"), s.station);
        ini.setValue(QStringLiteral("PublishPrefix"), s.prefix);
        ini.setValue(QStringLiteral("PublishOutboxMB"), QString::number(s.outboxMegabytes));
        ini.sync();
        if (ini.status() != QSettings::NoError) return false;
    }
    if (s.savePassword) {
        QFile::setPermissions(iniFile, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    return true;
}

}  // namespace zelvar
