#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "JournalRecovery.h"
#include "Settings.h"

namespace zelvar {

// The recovery of the journals left in a folder (see RecoverJournals), run
// on a thread of its own with its own decoder, so that the window stays in
// use meanwhile. Its news comes as queued calls on the thread that made it,
// and none comes once it is destroyed.
class RecoveryRun : public QObject {
public:
    using Progressed = std::function<void(int percent)>;
    using Finished = std::function<void(const std::vector<RecoveredJournal>&)>;

    RecoveryRun(const QString& folder, const Settings& settings, Progressed progressed,
                Finished finished, QObject* parent = nullptr);
    // Stops a recovery still running within a portion and waits for it: the
    // journal it was on stays, whole, for the next start.
    ~RecoveryRun() override;
    RecoveryRun(const RecoveryRun&) = delete;
    RecoveryRun& operator=(const RecoveryRun&) = delete;

private:
    Progressed progressed_;
    Finished finished_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace zelvar
