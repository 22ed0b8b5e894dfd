#pragma once

#include <QString>
#include <vector>

#include "Settings.h"

namespace zelvar {

struct RecoveredJournal {
    QString base;      // the logs written: base + ".hex" and base + ".txt"
    long packages = 0;
    QString error;     // why the journal could not be turned into logs (it stays)
};

// Turns each journal in `folder` that no running program holds, one left
// behind by a crash, into `folder`/<stamp>_recovered.hex (its lines as they
// were received) and the matching .txt decoded as File > Decode would, then
// deletes it. <stamp> is the time the journal was last written to.
std::vector<RecoveredJournal> RecoverJournals(const QString& folder, const Settings& settings);

}  // namespace zelvar
