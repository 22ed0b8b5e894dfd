// Feeds arbitrary bytes to the recovery of a journal left behind by a crash:
// the bytes are the journal, recovered (read, checked line by line, copied
// and decoded) into a scratch folder that is emptied after every input. The
// first byte picks the settings' display mode.
#include <stdlib.h>

#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "JournalRecovery.h"

namespace {

// A folder of this run's own, removed when the fuzzer ends.
class Scratch {
public:
    Scratch() {
        std::string pattern = (std::filesystem::temp_directory_path() / "fuzz-journal-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

const std::filesystem::path& scratch() {
    static const Scratch folder;
    return folder.path();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    zelvar::Settings settings;
    settings.OnlyRSSI = (data[0] & 1) != 0;
    const std::filesystem::path& folder = scratch();
    {
        std::ofstream journal(folder / "zelvar-1-2-3.journal", std::ios::binary);
        journal.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    }
    zelvar::RecoverJournals(QString::fromStdString(folder.string()), settings);
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::filesystem::remove_all(entry.path());
    }
    return 0;
}
