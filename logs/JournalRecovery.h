#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <vector>

#include "Settings.h"

namespace zelvar {

struct RecoveredJournal {
    QString base;      // the logs written: base + ".hex" and base + ".txt"
    long packages = 0;
    QString error;     // why the journal could not be turned into logs, or was set aside
};

// How a recovery on a thread of its own reports and is stopped.
struct RecoveryControl {
    // Called on the recovering thread as the share done grows, 0..100.
    std::function<void(int percent)> progress;
    // Set from another thread: the recovery stops within a portion, leaves
    // the journal for the next start and removes what it had written of it.
    const std::atomic<bool>* stop = nullptr;
};

// Turns each journal in `folder` that no running program holds, one left
// behind by a crash, into `folder`/<stamp>_recovered.hex (its lines as they
// were received) and the matching .txt decoded as File > Decode would, then
// deletes it. <stamp> is the time the journal was last written to. A journal
// is read and decoded a block at a time, so memory stays small for any size.
// First removes the temporary files of writers that were killed.
std::vector<RecoveredJournal> RecoverJournals(const QString& folder, const Settings& settings,
                                              const RecoveryControl& control = {});

}  // namespace zelvar
