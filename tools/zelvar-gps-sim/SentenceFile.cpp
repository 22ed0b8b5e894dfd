#include "SentenceFile.h"

#include <string_view>

#include "ReadWholeFile.h"

namespace zelvar::gpssim {

std::vector<std::vector<std::string>> ReadSentenceSeconds(const std::string& path) {
    const std::string text = ReadFileOrFifo(path);
    std::vector<std::vector<std::string>> seconds;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + at, end - at);
        at = end + 1;
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        const bool rmc = line.find("GPRMC") == (line.front() == '$' ? 1U : 0U);
        if (seconds.empty() || rmc) seconds.emplace_back();
        seconds.back().emplace_back(line);
    }
    return seconds;
}

}  // namespace zelvar::gpssim
