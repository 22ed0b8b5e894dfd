#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <map>
#include <chrono>
#include <memory>
#include <string_view>
#include <vector>

#include "LogBytes.h"
#include "LogWriter.h"

namespace zelvar {

class LiveJournal;

// What becomes of the live logs on their way to the disk, beside the main
// window and without a window of its own: the full views written in the
// background at a rollover, what a failed save leaves waiting, whether the
// auto-save folder is failing, and the journal that keeps every package
// until a save holds it.
class LogSaveControl : public QObject {
    Q_OBJECT

public:
    // `retryEvery`: how often saves that failed are tried again into their
    // folder; tests that wait for a retry shorten it.
    explicit LogSaveControl(QObject* parent = nullptr,
                            std::chrono::milliseconds retryEvery = kRetryEvery);
    ~LogSaveControl() override;

    // Starts journaling into this folder (after a left-behind journal there
    // has been recovered).
    void startJournal(const QString& folder);
    LiveJournal* journal() const { return journal_.get(); }

    // One package received while monitoring, as its stamped hex line.
    void packageReceived(std::string_view hexLine);

    // A rollover: the views' bytes go to base (a free name at the moment of
    // writing) in the background; the caller empties the views. No pieces:
    // that file is not written.
    void saveInBackground(const QString& base, LogBytes text, LogBytes hex);
    void saveInBackground(const QString& base, const QByteArray& text, const QByteArray& hex) {
        saveInBackground(base, piecesOf(text), piecesOf(hex));
    }
    // Waits for the background saves and takes their outcomes in.
    void finishBackgroundSaves();

    // Writes now what failed saves left waiting, followed by the views' bytes
    // (no pieces, or a null array: that file is not written); gives the base
    // used. Throws LogFileError. On success nothing waits any more.
    QString saveNow(const QString& base, bool freeName, const LogBytes& text,
                    const LogBytes& hex);
    QString saveNow(const QString& base, bool freeName, const QByteArray& text,
                    const QByteArray& hex) {
        return saveNow(base, freeName, piecesOf(text), piecesOf(hex));
    }
    // The views were emptied without saving (Clear, or a loss the user
    // confirmed): nothing waits any more.
    void dropUnsaved();
    // The end of the program: the journal goes, or, with `keepUnsaved`,
    // stays for the next start to recover what no save holds.
    void endJournal(bool keepUnsaved = false);

    // Auto-save into `folder` failed and what it should have written waits.
    bool failing() const { return !failure_.isEmpty(); }
    // Logs of failed background saves wait beside the views.
    bool hasWaiting() const { return !waiting_.empty(); }
    QString failure() const { return failure_; }
    QString failingFolder() const { return failingFolder_; }
    QString journalFailure() const;
    // Status panel 3 while the journal misses lines that no save holds yet
    // (empty while it keeps everything).
    QString journalGapText() const;
    // Packages received since the views were last saved, including those of
    // failed saves.
    std::int64_t unsavedPackages() const { return unsavedPackages_; }
    // Status panel 1 while something goes wrong (empty while all is well),
    // and the longer reason for its tool tip.
    QString statusText() const;
    QString statusReason() const;

    static constexpr std::chrono::milliseconds kRetryEvery{5000};

signals:
    // A background save failed: the first failure in that folder since the
    // last save that worked.
    void backgroundSaveFailed(const QString& folder, const QString& text);
    // failing(), unsavedPackages() or journalFailure() changed.
    void statusChanged();

private:
    static LogBytes piecesOf(const QByteArray& bytes) {
        return bytes.isNull() ? LogBytes() : LogBytes{bytes};
    }
    struct Waiting {
        LogBytes text;
        LogBytes hex;
        std::int64_t packages = 0;
        std::vector<std::uint64_t> segments;  // the journal's, holding these packages
    };
    struct InFlight {
        std::vector<Waiting> chunks;
        bool retry = false;
    };

    void takeOutcomes();
    void setFailure(const QString& folder, const QString& text);
    // A pair for the views' bytes or waiting chunks, which releases these
    // journal segments from the writing thread as soon as it stands.
    LogPair journaledPair(const QString& base, bool freeName, std::vector<std::uint64_t> segments);
    void retryWaiting();

    std::unique_ptr<LogWriter> writer_;
    QTimer* retry_ = nullptr;
    // Shared with the hooks of the pairs on their way: a pair keeps its
    // journal alive on the writer's thread.
    std::shared_ptr<LiveJournal> journal_;
    std::map<std::uint64_t, InFlight> inFlight_;
    std::vector<Waiting> waiting_;
    std::int64_t viewPackages_ = 0;  // in the views since they were last emptied
    std::int64_t unsavedPackages_ = 0;
    QString failure_;
    QString failingFolder_;
};

}  // namespace zelvar
