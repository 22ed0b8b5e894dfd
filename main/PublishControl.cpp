#include "PublishControl.h"

#include <QDir>
#include <QEvent>
#include <utility>

#include "BusyRuns.h"
#include "DateTime.h"
#include "MonitorModel.h"
#include "PublishDialog.h"
#include "Publisher.h"
#include "SettingsStore.h"
#include "ZelvarMain.h"

namespace zelvar {

namespace {
// Beside " Lost N", which shows only after a loss: while nothing is lost,
// this is the sixth panel the user sees.
constexpr int kPanel = 7;
}  // namespace

PublishControl::PublishControl(PublishParts parts)
    : QObject(&parts.window), parts_(std::move(parts)) {
    parts_.window.installEventFilter(this);
    refresh_.setInterval(500);
    connect(&refresh_, &QTimer::timeout, this, &PublishControl::refresh);
}

PublishControl::~PublishControl() { parts_.monitor.setPackagePublisher(nullptr); }

bool PublishControl::eventFilter(QObject* watched, QEvent* event) {
    // The window reads its settings when first shown; publishing starts after.
    if (watched == &parts_.window && event->type() == QEvent::Show && !started_) {
        started_ = true;
        QTimer::singleShot(0, this, &PublishControl::start);
    }
    return QObject::eventFilter(watched, event);
}

void PublishControl::start() {
    settings_ = LoadPublishSettings(parts_.settingsFileName());
    restart();
}

void PublishControl::dialogChosen() {
    BusyRuns& runs = parts_.monitor.busyRuns();
    // As "Settings...": not while a decoding runs or another question is open.
    const auto asking = runs.tryBegin(Command::Settings, RunKind::Question);
    if (!asking) return;
    PublishDialog dialog(settings_, &parts_.window);
    if (dialog.exec() != QDialog::Accepted) return;
    apply(dialog.settings());
}

void PublishControl::apply(const PublishSettings& settings) {
    if (!SavePublishSettings(parts_.settingsFileName(), settings)) {
        parts_.monitor.showError(QStringLiteral("The publishing settings could not be saved in \"%1\".")
                            .arg(QDir::toNativeSeparators(parts_.settingsFileName())));
    }
    if (settings == settings_ && (publisher_ != nullptr) == settings.on) return;
    settings_ = settings;
    restart();
}

void PublishControl::restart() {
    parts_.monitor.setPackagePublisher(nullptr);
    publisher_.reset();
    if (!settings_.on || !PublishSettingsProblem(settings_).isEmpty()) {
        refresh_.stop();
        parts_.monitor.setStatusText(kPanel, QString());
        return;
    }
    PublishConfig config;
    config.host = settings_.host.toStdString();
    config.port = settings_.port;
    config.login.tls = settings_.tls;
    config.login.caFile = settings_.caFile.toStdString();
    config.login.certFile = settings_.certFile.toStdString();
    config.login.keyFile = settings_.keyFile.toStdString();
    config.login.user = settings_.user.toStdString();
    config.login.password = settings_.password.toStdString();
    config.station = PublishStation(settings_).toStdString();
    config.prefix = settings_.prefix.toStdString();
    // Beside the journal: both keep what this station took until it is safe.
    config.outboxPath = QDir(parts_.filesFolder()).filePath(QStringLiteral("publish-outbox.sqlite")).toStdString();
    config.outboxLimit = static_cast<std::uint64_t>(settings_.outboxMegabytes) * 1'000'000;
    try {
        publisher_ = std::make_unique<Publisher>(std::move(config));
    } catch (const std::exception& failed) {
        parts_.monitor.setStatusText(kPanel, QStringLiteral(" MQTT: offline"));
        parts_.monitor.showError(QStringLiteral("Publishing cannot start: %1").arg(QString::fromStdString(failed.what())));
        return;
    }
    parts_.monitor.setPackagePublisher([this](const PackageFields& fields) { take(fields); });
    refresh_.start();
    refresh();
}

void PublishControl::take(const PackageFields& fields) {
    if (!publisher_) return;
    time_.clear();
    AppendIsoLocalTime(time_, LocalNow(), true);
    publisher_->publish(fields, time_);
}

void PublishControl::refresh() {
    if (!publisher_) return;
    StationState state;
    state.gps = parts_.monitor.gps().Connected;
    if (parts_.monitor.monitoring()) {
        for (const std::string& address : parts_.monitor.sessionSettings().IP) {
            if (!address.empty()) ++state.transceivers;
        }
    }
    publisher_->setStationState(state);
    const PublishStatus status = publisher_->status();
    QString text = status.connected ? QStringLiteral(" MQTT: connected") : QStringLiteral(" MQTT: offline");
    if (status.queued > 0) text += QStringLiteral(", queued %1").arg(status.queued);
    if (status.dropped > 0) text += QStringLiteral(", dropped %1").arg(status.dropped);
    if (parts_.monitor.statusText(kPanel) != text) parts_.monitor.setStatusText(kPanel, text);
    parts_.monitor.setStatusHint(kPanel, QString::fromStdString(DroppedReason(status, publisher_->outboxLimit())));
}

}  // namespace zelvar

QString TMainForm::settingsFileName() const { return store_ ? store_->fileName() : QString(); }
