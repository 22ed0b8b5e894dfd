#include "LogSaveControl.h"

#include <QFileInfo>

#include "LiveJournal.h"
#include "LogFile.h"

namespace zelvar {

namespace {

QString folderOf(const QString& base) {
    return QFileInfo(base).absolutePath();
}

}  // namespace

LogSaveControl::LogSaveControl(QObject* parent) : QObject(parent) {
    writer_ = std::make_unique<LogWriter>([this] {
        QMetaObject::invokeMethod(this, &LogSaveControl::takeOutcomes, Qt::QueuedConnection);
    });
}

LogSaveControl::~LogSaveControl() {
    // Rollover files still on their way are written before the program ends.
    writer_.reset();
    journal_.reset();
}

void LogSaveControl::startJournal(const QString& folder) {
    journal_ = std::make_unique<LiveJournal>(folder.toStdString(), [this] {
        QMetaObject::invokeMethod(this, &LogSaveControl::statusChanged, Qt::QueuedConnection);
    });
}

void LogSaveControl::packageReceived(std::string_view hexLine) {
    if (journal_) journal_->append(hexLine);
    ++viewPackages_;
    ++unsavedPackages_;
}

void LogSaveControl::saveInBackground(const QString& base, QByteArray text, QByteArray hex) {
    LogPair pair{base, true, {}, {}};
    if (!text.isNull()) pair.text << text;
    if (!hex.isNull()) pair.hex << hex;
    const std::uint64_t segment = journal_ ? journal_->rotate() : 0;
    const std::uint64_t id = writer_->submit(std::move(pair));
    inFlight_[id] = InFlight{Waiting{std::move(text), std::move(hex), viewPackages_}, segment};
    viewPackages_ = 0;
}

void LogSaveControl::finishBackgroundSaves() {
    writer_->waitIdle();
    takeOutcomes();
}

void LogSaveControl::takeOutcomes() {
    bool changed = false;
    for (LogWriter::Outcome& outcome : writer_->takeOutcomes()) {
        const auto found = inFlight_.find(outcome.id);
        if (found == inFlight_.end()) continue;  // dropped by a Clear meanwhile
        InFlight flight = std::move(found->second);
        inFlight_.erase(found);
        changed = true;
        if (outcome.error.isEmpty()) {
            if (journal_) journal_->discard(flight.segment);
            unsavedPackages_ -= flight.chunk.packages;
            continue;
        }
        // The journal segment stays: it holds these packages until a later
        // save does.
        waiting_.push_back(std::move(flight.chunk));
        const QString folder = folderOf(outcome.base);
        const bool newlyFailing = !failing() || failingFolder_ != folder;
        setFailure(folder, outcome.error);
        if (newlyFailing) emit backgroundSaveFailed(folder, outcome.error);
    }
    if (changed) emit statusChanged();
}

QString LogSaveControl::saveNow(const QString& base, bool freeName, const QByteArray& text,
                                const QByteArray& hex) {
    finishBackgroundSaves();
    LogPair pair{base, freeName, {}, {}};
    for (const Waiting& chunk : waiting_) {
        if (!chunk.text.isNull()) pair.text << chunk.text;
        if (!chunk.hex.isNull()) pair.hex << chunk.hex;
    }
    if (!text.isNull()) pair.text << text;
    if (!hex.isNull()) pair.hex << hex;
    const std::uint64_t segment = journal_ ? journal_->rotate() : 0;
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

void LogSaveControl::endJournal() {
    finishBackgroundSaves();
    if (!journal_) return;
    journal_->discardAll();
    journal_.reset();
}

void LogSaveControl::setFailure(const QString& folder, const QString& text) {
    failingFolder_ = folder;
    failure_ = text;
}

QString LogSaveControl::journalFailure() const {
    return journal_ ? QString::fromStdString(journal_->failure()) : QString();
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
    return reasons.join(QLatin1Char('\n'));
}

}  // namespace zelvar
