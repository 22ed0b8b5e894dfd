#include "MonitorModel.h"

#include <QDir>
#include <QStringList>
#include <vector>

#include "JournalRecovery.h"
#include "LogSaveControl.h"
#include "RecoveryRun.h"

namespace zelvar {

MonitorModel::MonitorModel(const Settings& settings, MonitorView& view, MonitorDialogs& dialogs)
    : settings_(settings),
      view_(view),
      dialogs_(dialogs),
      decoder_(settings_, mirrors_, gps_, *this),
      offline_(decoder_, mirrors_, busy_.decodingFlags()),
      saving_(std::make_unique<LogSaveControl>()) {
    flushTimer_.setSingleShot(true);
    QObject::connect(&flushTimer_, &QTimer::timeout, &flushTimer_, [this] { flushLogViews(); });
    QObject::connect(saving_.get(), &LogSaveControl::backgroundSaveFailed, &flushTimer_,
                     [this](const QString& folder, const QString& text) {
                         backgroundSaveFailed(folder, text);
                     });
    QObject::connect(saving_.get(), &LogSaveControl::statusChanged, &flushTimer_,
                     [this] { refreshAutoSaveStatus(); });
    sinceFlush_.start();
    sinceEvents_.start();
}

MonitorModel::~MonitorModel() = default;

void MonitorModel::startUp(const QString& folder) {
    filesFolder_ = folder;
    logsSaved_ = true;
    offline_.clearInput();
    decoder_.clearDecodedLines();
    const QString journals = QDir::cleanPath(folder);
    startRecovery(journals);
    saving_->startJournal(journals);
}

void MonitorModel::startRecovery(const QString& folder) {
    // What a crashed or killed run had received is saved on a thread of its
    // own while this run's journal starts beside it and the window is in use.
    const auto recovering = [this] {
        return view_.statusText(3).startsWith(QStringLiteral(" Recovering"));
    };
    const auto progressed = [this, recovering](int percent) {
        // A decoding started meanwhile has the panel.
        if (!view_.statusText(3).isEmpty() && !recovering()) return;
        view_.setStatusText(3, QStringLiteral(" Recovering %1%").arg(percent));
        view_.setStatusHint(3, QStringLiteral("Recovering the logs of the last run"));
    };
    const auto finished = [this, recovering](const std::vector<RecoveredJournal>& journals) {
        QStringList told;
        long packages = 0;
        bool failed = false;
        for (const RecoveredJournal& journal : journals) {
            if (!journal.error.isEmpty()) {
                failed = true;
                told << journal.error;
                continue;
            }
            packages += journal.packages;
            told << QStringLiteral("%1.hex and .txt: %2 packages")
                        .arg(QDir::toNativeSeparators(journal.base))
                        .arg(journal.packages);
        }
        // Nothing to recover: the panel is left to whatever else it shows
        // (a settings store that cannot be written, the journal's gap).
        if (told.isEmpty()) {
            if (recovering()) {
                view_.setStatusText(3, QString());
                view_.setStatusHint(3, QString());
            }
            return;
        }
        view_.setStatusText(3, failed ? QStringLiteral(" Recovery Failed")
                                      : QStringLiteral(" Recovered %1").arg(packages));
        view_.setStatusHint(3, QStringLiteral("Logs recovered from the last run:\n") +
                                   told.join(QLatin1Char('\n')));
    };
    recovery_ = std::make_unique<RecoveryRun>(folder, settings_, progressed, finished);
}

void MonitorModel::startMonitoringChosen() {
    if (busy_.ask(Command::StartMonitoring) == BusyRuns::Answer::Refused) {
        // The check mark has already toggled: a refused choice leaves none.
        setStartMonitoringChecked(!startMonitoringChecked());
        return;
    }
    if (session_) session_->startMonitoringChosen();
}

void MonitorModel::startGpsClicked() {
    if (gpsCommands_) gpsCommands_->startStopClicked();
}

void MonitorModel::copyGpsChosen() {
    if (gpsCommands_) gpsCommands_->copyCoordinatesChosen();
}

bool MonitorModel::startMonitoringChecked() const {
    return view_.toggled(ViewToggle::StartMonitoring);
}

void MonitorModel::setStartMonitoringChecked(bool checked) {
    view_.setToggled(ViewToggle::StartMonitoring, checked);
}

void MonitorModel::sessionStarting() {
    view_.phaseChanged(RunPhase::SessionStarting);
}

void MonitorModel::sessionEnding() {
    view_.phaseChanged(RunPhase::SessionEnding);
}

void MonitorModel::sessionEnded() {
    view_.phaseChanged(RunPhase::SessionEnded);
}

void MonitorModel::setAddressFieldsEnabled(bool enabled) {
    view_.setControlEnabled(ViewControl::AddressFields, enabled);
}

QString MonitorModel::statusText(int panel) const {
    return view_.statusText(panel);
}

void MonitorModel::setStatusText(int panel, const QString& text) {
    view_.setStatusText(panel, text);
}

void MonitorModel::setSessionStatusText(const QString& text, const QString& hint) {
    view_.setStatusText(4, text);
    view_.setStatusHint(4, hint);
}

void MonitorModel::showError(const QString& text) {
    // The box's own event loop lets a close in: it waits for the box.
    const BusyRuns::Run asking = busy_.begin(RunKind::Question);
    dialogs_.showError(text);
}

void MonitorModel::resetSMeters() {
    for (int port = 1; port <= kPortCount; ++port) view_.setSMeter(port, 0);
}

void MonitorModel::UpdateSMeterHints() {
    view_.updateSMeterHints();
}

void MonitorModel::zeroSMeter(int port) {
    view_.setSMeter(port, 0);
}

bool MonitorModel::gpsToggleDown() const {
    return view_.toggled(ViewToggle::StartGps);
}

void MonitorModel::setGpsToggle(bool down) {
    view_.setToggled(ViewToggle::StartGps, down);
}

QString MonitorModel::gpsPortName() const {
    return view_.gpsPortName();
}

void MonitorModel::setGpsPortBoxEnabled(bool enabled) {
    view_.setControlEnabled(ViewControl::GpsPortBox, enabled);
}

void MonitorModel::showGpsLabels(const QString& time, const QString& lat, const QString& lon,
                                 const QString& pdop) {
    view_.showGpsLabels(time, lat, lon, pdop);
}

void MonitorModel::setGpsLabelsVisible(bool visible) {
    view_.setGpsLabelsVisible(visible);
}

void MonitorModel::setCopyGpsEnabled(bool enabled) {
    view_.setControlEnabled(ViewControl::CopyGps, enabled);
}

void MonitorModel::decodeEditorLines(LineList lines, const QString& title) {
    if (busy_.ask(Command::Decode) != BusyRuns::Answer::Go) return;
    // As the bytes of a UTF-8 file: the decoder skips every byte outside
    // ASCII, where a character outside Latin-1 would become '?', which it
    // would read as a digit.
    offline_.shareInput(lines.share());
    decodeOfflineInput(title);
}

void MonitorModel::setMainDecodeEnabled(bool enabled) {
    view_.setControlEnabled(ViewControl::Decode, enabled);
}

void MonitorModel::refreshDisplayMode() {
    view_.refreshDisplayMode();
}

}  // namespace zelvar
