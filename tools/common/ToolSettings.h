#pragma once

#include <string>

#include "Settings.h"

namespace zelvar {

// The settings a command-line tool decodes with: those of `file` (an INI
// file in the settings store's format), or the user's store when `file` is
// empty. False with a one-line message when the file cannot be read or is no
// settings file, or when the user's store is no regular file. `path`, when
// given, gets the file actually read.
bool LoadToolSettings(const std::string& file, Settings& settings, std::string& error,
                      std::string* path = nullptr);

}  // namespace zelvar
