#pragma once

#include <string>

#include "CollectService.h"

namespace zelvar {

// Takes a station away: clears its retained status and confirmation on the
// broker (empty retained messages), then deletes its row of `stations` (as
// the owner of the tables). A station still running comes back with its next
// status. What it did, in a line. Throws StoreError for the database,
// std::runtime_error for the broker.
std::string ForgetStation(const ServiceOptions& options, const std::string& station);

}  // namespace zelvar
