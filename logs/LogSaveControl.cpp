#include "LogSaveControl.h"

#include <QFileInfo>
#include <utility>

#include "DateTime.h"
#include "LiveJournal.h"
#include "LogFile.h"

namespace zelvar {

namespace {

QString folderOf(const QString& base) {
    return QFileInfo(base).absolutePath();
}

}  // namespace

LogSaveControl::LogSaveControl(QObject* parent, std::chrono::milliseconds retryEvery)
    : QObject(parent) {
    writer_ = std::make_unique<LogWriter>([this] {
        QMetaObject::invokeMethod(this, &LogSaveControl::takeOutcomes, Qt::QueuedConnection);
    });
    retry_ = new QTimer(this);
    retry_->setInterval(retryEvery);
    connect(retry_, &QTimer::timeout, this, &LogSaveControl::retryWaiting);
}

LogSaveControl::~LogSaveControl() {
    // Rollover files still on their way are written before the program ends.
    writer_.reset();
    journal_.reset();
}

void LogSaveControl::startJournal(const QString& folder) {
    journal_ = std::make_shared<LiveJournal>(folder.toStdString(), [this] {
        QMetaObject::invokeMethod(this, &LogSaveControl::statusChanged, Qt::QueuedConnection);
    });
}

void LogSaveControl::packageReceived(std::string_view hexLine) {
    if (journal_) journal_->append(hexLine);
    ++viewPackages_;
    ++unsavedPackages_;
}

LogPair LogSaveControl::journaledPair(const QString& base, bool freeName,
                                      std::vector<std::uint64_t> segments) {
    LogPair pair{base, freeName, {}, {}, {}, {}, {}};
    if (!journal_ || segments.empty()) return pair;
    // The segments go from the writing thread the moment the save stands,
    // not after the news has travelled to this thread: a kill in between
    // would otherwise recover them beside the save.
    const std::shared_ptr<LiveJournal> journal = journal_;
    pair.beforePlacing = [journal, segments](const DurableFile& key) {
        journal->markSaved(segments, key);
    };
    pair.placingFailed = [journal, segments] { journal->unmarkSaved(segments); };
    pair.placed = [journal, segments] { journal->discard(segments); };
    return pair;
}

void LogSaveControl::saveInBackground(const QString& base, LogBytes text, LogBytes hex) {
    std::vector<std::uint64_t> segments;
    if (journal_) segments.push_back(journal_->rotate());
    LogPair pair = journaledPair(base, true, segments);
    pair.text << text;
    pair.hex << hex;
    const std::uint64_t id = writer_->submit(std::move(pair));
    InFlight flight;
    flight.chunks.push_back(Waiting{std::move(text), std::move(hex), viewPackages_, segments});
    inFlight_[id] = std::move(flight);
    viewPackages_ = 0;
}

void LogSaveControl::retryWaiting() {
    if (!failing() || waiting_.empty()) {
        retry_->stop();
        return;
    }
    // One try at a time, behind whatever the writer still has.
    for (const auto& [id, flight] : inFlight_) {
        if (flight.retry) return;
    }
    std::vector<std::uint64_t> segments;
    for (const Waiting& chunk : waiting_) {
        segments.insert(segments.end(), chunk.segments.begin(), chunk.segments.end());
    }
    const QString base = failingFolder_ + QLatin1Char('/') + QString::fromStdString(FileNameStamp());
    LogPair pair = journaledPair(base, true, std::move(segments));
    for (const Waiting& chunk : waiting_) {
        pair.text << chunk.text;
        pair.hex << chunk.hex;
    }
    InFlight flight{std::exchange(waiting_, {}), true};
    inFlight_[writer_->submit(std::move(pair))] = std::move(flight);
}

void LogSaveControl::finishBackgroundSaves() {
    writer_->waitIdle();
    takeOutcomes();
}

void LogSaveControl::takeOutcomes() {
    bool changed = false;
    // Told once the retries are set: what hears it may let events run.
    std::vector<std::pair<QString, QString>> newFailures;
    for (LogWriter::Outcome& outcome : writer_->takeOutcomes()) {
        const auto found = inFlight_.find(outcome.id);
        if (found == inFlight_.end()) continue;  // dropped by a Clear meanwhile
        InFlight flight = std::move(found->second);
        inFlight_.erase(found);
        changed = true;
        if (outcome.error.isEmpty()) {
            for (const Waiting& chunk : flight.chunks) unsavedPackages_ -= chunk.packages;
            if (flight.retry && waiting_.empty()) setFailure({}, {});
            continue;
        }
        // The journal segments stay: they hold these packages until a later
        // save does. A retry's chunks were the oldest and go back in front.
        waiting_.insert(flight.retry ? waiting_.begin() : waiting_.end(),
                        std::make_move_iterator(flight.chunks.begin()),
                        std::make_move_iterator(flight.chunks.end()));
        const QString folder = folderOf(outcome.base);
        const bool newlyFailing = !failing() || failingFolder_ != folder;
        setFailure(folder, outcome.error);
        if (newlyFailing) newFailures.emplace_back(folder, outcome.error);
    }
    if (failing() && !waiting_.empty() && !retry_->isActive()) retry_->start();
    for (const auto& [folder, text] : newFailures) emit backgroundSaveFailed(folder, text);
    if (changed) emit statusChanged();
}

QString LogSaveControl::saveNow(const QString& base, bool freeName, const LogBytes& text,
                                const LogBytes& hex) {
    finishBackgroundSaves();
    const std::uint64_t segment = journal_ ? journal_->rotate() : 0;
    LogPair pair = journaledPair(
        base, freeName, journal_ ? journal_->segmentsThrough(segment) : std::vector<std::uint64_t>());
    for (const Waiting& chunk : waiting_) {
        pair.text << chunk.text;
        pair.hex << chunk.hex;
    }
    pair.text << text;
    pair.hex << hex;
    QString used;
    try {
        used = WriteLogPair(pair);
    } catch (const LogFileError& error) {
        // An auto-save (the one that picks a free name) that fails is what
        // the status bar reports; a chosen name that fails is the user's to see.
        if (freeName) {
            setFailure(folderOf(base), error.text());
            emit statusChanged();
        }
        throw;
    }
    // Lines the full journal did not take were in these views too.
    if (journal_) journal_->discardThrough(segment);
    waiting_.clear();
    viewPackages_ = 0;
    unsavedPackages_ = 0;
    setFailure({}, {});
    emit statusChanged();
    return used;
}

void LogSaveControl::dropUnsaved() {
    finishBackgroundSaves();
    if (journal_) journal_->discardAll();
    waiting_.clear();
    viewPackages_ = 0;
    unsavedPackages_ = 0;
    setFailure({}, {});
    emit statusChanged();
}

void LogSaveControl::endJournal(bool keepUnsaved) {
    finishBackgroundSaves();
    if (!journal_) return;
    // Kept, its segments are unlocked when the program ends, as after a crash.
    if (!keepUnsaved || unsavedPackages_ == 0) journal_->discardAll();
    journal_.reset();
}

void LogSaveControl::setFailure(const QString& folder, const QString& text) {
    failingFolder_ = folder;
    failure_ = text;
}

QString LogSaveControl::journalFailure() const {
    return journal_ ? QString::fromStdString(journal_->failure()) : QString();
}

QString LogSaveControl::journalGapText() const {
    return journal_ && journal_->hasGap() ? QStringLiteral(" Journal Gap") : QString();
}

QString LogSaveControl::statusText() const {
    if (failing()) return QStringLiteral(" Auto Save Failing: %1").arg(unsavedPackages_);
    if (!journalFailure().isEmpty()) return QStringLiteral(" Journal Failing");
    return {};
}

QString LogSaveControl::statusReason() const {
    QStringList reasons;
    if (failing()) {
        reasons << QStringLiteral("Auto-save fails: %1").arg(failure_)
                << QStringLiteral("%1 packages wait unsaved.").arg(unsavedPackages_);
    }
    const QString journal = journalFailure();
    if (!journal.isEmpty()) reasons << QStringLiteral("Journal fails: %1").arg(journal);
    if (journal_ && journal_->droppedLines() > 0) {
        reasons << QStringLiteral("The journal is full: %1 packages not kept.")
                       .arg(journal_->droppedLines());
    }
    return reasons.join(QLatin1Char('\n'));
}

}  // namespace zelvar
