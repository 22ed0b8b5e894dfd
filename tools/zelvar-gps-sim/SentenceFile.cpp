#include "SentenceFile.h"

#include <fstream>

namespace zelvar::gpssim {

std::optional<std::vector<std::vector<std::string>>> ReadSentenceSeconds(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::vector<std::vector<std::string>> seconds;
    std::string text;
    while (std::getline(file, text)) {
        while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
        if (text.empty()) continue;
        if (seconds.empty() || text.find("GPRMC") == (text.front() == '$' ? 1U : 0U)) seconds.emplace_back();
        seconds.back().push_back(text);
    }
    return seconds;
}

}  // namespace zelvar::gpssim
