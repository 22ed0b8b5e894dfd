#pragma once

#include <memory>

#include "PackageSource.h"
#include "SimOptions.h"

namespace zelvar::sim {

// Binds the transceivers' sockets and serves them from a single ppoll()
// loop until the packages are done (with --exit-when-done) or SIGTERM or
// SIGINT arrives; then prints the counts. Returns the exit status.
int runSimulator(const SimOptions& options, std::unique_ptr<PackageSource> source);

}  // namespace zelvar::sim
