// The monitor model as the decoders' output: the lines of a burst wait and
// go into the views as one block, the counts with them; live packages go to
// the crash journal and, while publishing is on, to the publisher.
#include <utility>

#include "HistoryFeed.h"
#include "LogSaveControl.h"
#include "MonitorModel.h"

namespace zelvar {

namespace {

// Flushes at most this often while lines keep coming, so that a flood of
// packages is drawn in a few large blocks instead of thousands of small ones.
constexpr qint64 kMinFlushGapMs = 20;
// ... and at least this often, even when the event loop is kept busy.
constexpr qint64 kMaxFlushDelayMs = 50;

void appendPending(std::string& pending, std::string_view line) {
    if (!pending.empty()) pending.push_back('\n');
    pending.append(line);
}

QString latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

bool MonitorModel::textLogEmpty() const {
    return pendingText_.empty() && view_.logEmpty(LogPane::Text);
}

void MonitorModel::appendTextLine(std::string_view line) {
    if (pendingText_.empty() && pendingHex_.empty()) pendingSince_.start();
    appendPending(pendingText_, line);
    scheduleFlush();
}

void MonitorModel::appendHexLine(std::string_view line) {
    if (pendingText_.empty() && pendingHex_.empty()) pendingSince_.start();
    appendPending(pendingHex_, line);
    scheduleFlush();
}

void MonitorModel::setCountsText(std::string_view text) {
    pendingCounts_.assign(text);
    countsPending_ = true;
    scheduleFlush();
}

void MonitorModel::scheduleFlush() {
    if (pendingSince_.isValid() && pendingSince_.elapsed() >= kMaxFlushDelayMs) {
        flushLogViews();
        return;
    }
    if (flushTimer_.isActive()) return;
    const qint64 sinceLast = sinceFlush_.elapsed();
    flushTimer_.start(
        static_cast<int>(sinceLast >= kMinFlushGapMs ? 0 : kMinFlushGapMs - sinceLast));
}

void MonitorModel::flushLogViews() {
    flushTimer_.stop();
    sinceFlush_.restart();
    pendingSince_.invalidate();
    if (!pendingText_.empty()) {
        view_.appendLines(LogPane::Text, pendingText_);
        pendingText_.clear();
    }
    if (!pendingHex_.empty()) {
        view_.appendLines(LogPane::Hex, pendingHex_);
        pendingHex_.clear();
    }
    // The number of packages waiting unsaved moves with every package.
    if (saving_->failing()) refreshAutoSaveStatus();
    if (countsPending_) {
        countsPending_ = false;
        view_.setStatusText(2, latin1(pendingCounts_));
    }
}

void MonitorModel::clearCountsText() {
    countsPending_ = false;
    view_.setStatusText(2, QString());
}

void MonitorModel::setProgressText(std::string_view text) {
    view_.setStatusText(3, QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    // " Display..." stands while the views take the lines, with no event
    // processing in between: draw it now, beside the counts it follows.
    if (countsPending_) {
        countsPending_ = false;
        view_.setStatusText(2, latin1(pendingCounts_));
    }
    view_.drawStatusNow();
}

void MonitorModel::liveHexLine(std::string_view line) {
    saving_->packageReceived(line);
    livePackage_ = takesPackages();  // published as the decoder hands over its fields
}

void MonitorModel::setPackagePublisher(std::function<void(const PackageFields&)> publish) {
    publish_ = std::move(publish);
    setTakesPackages(publish_ != nullptr);
}

void MonitorModel::packageDecoded(const PackageFields& package) {
    // Only what liveHexLine handed to the journal just before: an offline
    // decoding's packages are no station's news.
    if (std::exchange(livePackage_, false) && publish_) publish_(package);
}

void MonitorModel::signalReport(int port, std::string_view stamp, std::string_view dbm, bool live) {
    // A decoded log's reports are not this run's signal.
    if (live) AddStampedReport(signalHistory_, port, stamp, dbm);
}

}  // namespace zelvar
