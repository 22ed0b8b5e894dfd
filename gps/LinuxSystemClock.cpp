#include "LinuxSystemClock.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "DateTime.h"
#include "LocalZone.h"

namespace zelvar {

namespace {

constexpr const char* kService = "org.freedesktop.timedate1";
// Long enough for a user to read and answer the authorisation prompt.
constexpr int kPromptTimeoutMs = 5 * 60 * 1000;

std::int64_t nowMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

std::int64_t utcMicroseconds(const ClockTime& t) {
    const std::int64_t seconds =
        DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) * 86400 +
        t.hour * 3600 + t.minute * 60 + t.second;
    return seconds * 1000000 + static_cast<std::int64_t>(t.millisecond) * 1000;
}

bool serviceAbsent(const QString& error) {
    return error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
           error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
           error.startsWith(QLatin1String("org.freedesktop.DBus.Error.Spawn")) ||
           error == QLatin1String("org.freedesktop.DBus.Error.Disconnected");
}

std::string refusalReason(const QDBusError& error) {
    const QString name = error.name();
    if (name.endsWith(QLatin1String("AutomaticTimeSyncEnabled"))) {
        return "automatic time synchronisation is on";
    }
    if (name == QLatin1String("org.freedesktop.DBus.Error.AccessDenied") ||
        name == QLatin1String("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired") ||
        name.startsWith(QLatin1String("org.freedesktop.PolicyKit1.Error"))) {
        return "no authorisation";
    }
    if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply")) return "no answer from the time service";
    return error.message().toStdString();
}

}  // namespace

LinuxSystemClock::LinuxSystemClock(QObject* parent) : QObject(parent) {}

int LinuxSystemClock::BaseBiasMinutes() const {
    return LocalStandardBiasMinutes(std::time(nullptr));
}

void LinuxSystemClock::SetUtc(const ClockTime& utc, std::function<void(const ClockResult&)> done) {
    const std::int64_t shift = utcMicroseconds(utc) - nowMicroseconds();
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        if (done) done(setDirectly(shift));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, "/org/freedesktop/timedate1",
                                                       kService, "SetTime");
    call << static_cast<qint64>(shift) << true << true;  // usec_utc, relative, interactive
    call.setInteractiveAuthorizationAllowed(true);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kPromptTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [shift, done = std::move(done)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusPendingReply<> reply = *finished;
                ClockResult result;
                if (!reply.isError()) {
                    result.accepted = true;
                } else if (serviceAbsent(reply.error().name())) {
                    result = setDirectly(shift);
                } else {
                    result.reason = refusalReason(reply.error());
                }
                if (done) done(result);
            });
}

ClockResult LinuxSystemClock::setDirectly(std::int64_t shiftMicroseconds) {
    const std::int64_t target = nowMicroseconds() + shiftMicroseconds;
    timespec to{};
    to.tv_sec = static_cast<time_t>(target / 1000000);
    to.tv_nsec = static_cast<long>(target % 1000000) * 1000;
    if (clock_settime(CLOCK_REALTIME, &to) == 0) return ClockResult{true, {}};
    if (errno == EPERM) return ClockResult{false, "no right to set the clock"};
    return ClockResult{false, std::strerror(errno)};
}

}  // namespace zelvar
