#include "FolderEdges.h"

#include <filesystem>
#include <regex>
#include <sstream>

namespace zelvar::layers {

namespace {

std::string trim(std::string_view text) {
    const auto begin = text.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos) return {};
    const auto end = text.find_last_not_of(" \t\r");
    return std::string(text.substr(begin, end - begin + 1));
}

std::set<std::string> words(std::string_view text) {
    std::set<std::string> out;
    std::istringstream in{std::string(text)};
    for (std::string word; in >> word;) {
        if (word != "-") out.insert(word);
    }
    return out;
}

std::vector<std::string_view> lines(std::string_view text) {
    std::vector<std::string_view> out;
    while (!text.empty()) {
        const auto end = text.find('\n');
        out.push_back(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return out;
}

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> out;
    for (auto tab = line.find('\t'); tab != std::string_view::npos; tab = line.find('\t')) {
        out.push_back(line.substr(0, tab));
        line.remove_prefix(tab + 1);
    }
    out.push_back(line);
    return out;
}

// The end of the generator expression that starts at `at` ("$<"), and where
// its condition or name ends (its first ':' outside nested expressions).
std::pair<std::size_t, std::size_t> expressionAt(std::string_view item, std::size_t at) {
    int depth = 0;
    std::size_t colon = std::string_view::npos;
    for (std::size_t i = at; i < item.size(); ++i) {
        if (item.compare(i, 2, "$<") == 0) {
            ++depth;
            ++i;
        } else if (item[i] == '>') {
            if (--depth == 0) return {i, colon};
        } else if (item[i] == ':' && depth == 1 && colon == std::string_view::npos) {
            colon = i;
        }
    }
    return {item.size(), colon};
}

}  // namespace

EdgeTable EdgeTable::parse(std::string_view text, std::vector<std::string>& problems) {
    EdgeTable table;
    for (std::string_view line : lines(text)) {
        line = line.substr(0, line.find('#'));
        if (trim(line).empty()) continue;
        const auto arrow = line.find("->");
        const auto bar = line.find('|');
        if (arrow == std::string_view::npos || bar == std::string_view::npos || bar < arrow) {
            problems.push_back("table: a row is not \"folder -> folders | libraries\": " +
                               trim(line));
            continue;
        }
        const std::string folder = trim(line.substr(0, arrow));
        FolderRule rule{words(line.substr(arrow + 2, bar - arrow - 2)), words(line.substr(bar + 1))};
        if (!table.folders.emplace(folder, std::move(rule)).second) {
            problems.push_back("table: folder " + folder + " has two rows");
        }
    }
    for (const auto& [folder, rule] : table.folders) {
        for (const std::string& used : rule.uses) {
            if (used != "*" && !table.folders.contains(used)) {
                problems.push_back("table: " + folder + " uses " + used + ", which has no row");
            }
        }
    }
    return table;
}

std::string EdgeTable::folderOf(std::string_view path) const {
    std::string best;
    for (const auto& [folder, rule] : folders) {
        const bool inside = path == folder || (path.starts_with(folder) &&
                                               path.size() > folder.size() &&
                                               path[folder.size()] == '/');
        if (inside && folder.size() > best.size()) best = folder;
    }
    return best;
}

bool EdgeTable::allows(const std::string& from, const std::string& to) const {
    if (from == to) return true;
    const auto row = folders.find(from);
    return row != folders.end() &&
           (row->second.uses.contains(to) || row->second.uses.contains("*"));
}

std::vector<std::string> EdgeTable::cycles() const {
    std::vector<std::string> out;
    for (const auto& row : folders) {
        if (row.second.uses.contains("*")) continue;
        // The folders reachable from this one, walked until it shows up.
        std::set<std::string> seen;
        std::vector<std::string> next(row.second.uses.begin(), row.second.uses.end());
        while (!next.empty()) {
            const std::string folder = next.back();
            next.pop_back();
            if (folder == row.first) {
                out.push_back(row.first);
                break;
            }
            const auto used = folders.find(folder);
            if (used == folders.end() || !seen.insert(folder).second) continue;
            next.insert(next.end(), used->second.uses.begin(), used->second.uses.end());
        }
    }
    return out;
}

BuildTargets BuildTargets::parse(std::string_view text) {
    BuildTargets targets;
    for (const std::string_view line : lines(text)) {
        const auto part = fields(line);
        if (part.size() == 3 && part[0] == "target") {
            targets.folderOf.emplace(part[1], part[2]);
        } else if (part.size() == 3 && part[0] == "link") {
            targets.links.emplace_back(part[1], part[2]);
        } else if (part.size() == 2 && part[0] == "imported") {
            targets.imported.emplace(part[1]);
        }
    }
    return targets;
}

std::vector<std::string> LinkNames(std::string_view item) {
    const auto at = item.find("$<");
    if (at == std::string_view::npos) {
        const std::string name = trim(item);
        return name.empty() ? std::vector<std::string>{} : std::vector<std::string>{name};
    }
    const auto [end, colon] = expressionAt(item, at);
    std::vector<std::string> out;
    if (colon != std::string_view::npos && end < item.size() &&
        item.substr(at + 2, colon - at - 2) != "INSTALL_INTERFACE") {
        out = LinkNames(item.substr(colon + 1, end - colon - 1));
    }
    std::string rest(item.substr(0, at));
    if (end < item.size()) rest += item.substr(end + 1);
    for (std::string& name : LinkNames(rest)) out.push_back(std::move(name));
    return out;
}

std::vector<std::string> CheckLinks(const EdgeTable& table, const BuildTargets& targets) {
    std::vector<std::string> problems;
    for (const auto& [target, path] : targets.folderOf) {
        if (table.folderOf(path).empty()) {
            problems.push_back("target " + target + " in " + path + ": its folder has no row");
        }
    }
    for (const auto& [target, item] : targets.links) {
        const auto owner = targets.folderOf.find(target);
        if (owner == targets.folderOf.end()) continue;
        const std::string from = table.folderOf(owner->second);
        if (from.empty()) continue;
        for (const std::string& name : LinkNames(item)) {
            const auto to = targets.folderOf.find(name);
            if (to != targets.folderOf.end()) {
                const std::string folder = table.folderOf(to->second);
                if (!table.allows(from, folder)) {
                    problems.push_back("link " + target + " (" + from + ") -> " + name + " (" +
                                       folder + "): the table does not allow " + from + " -> " +
                                       folder);
                }
            } else if (!table.folders.at(from).outside.contains(name)) {
                problems.push_back("link " + target + " (" + from + ") -> " + name + ": " +
                                   (targets.imported.contains(name)
                                        ? "a library the table does not list for " + from
                                        : "no target or listed library of that name"));
            }
        }
    }
    return problems;
}

std::vector<std::string> CheckIncludes(const EdgeTable& table,
                                       const std::vector<std::string>& headers,
                                       const std::vector<SourceFile>& files) {
    namespace fs = std::filesystem;
    const std::set<std::string> known(headers.begin(), headers.end());
    std::map<std::string, std::vector<std::string>> byName;
    for (const std::string& header : headers) {
        byName[fs::path(header).filename().string()].push_back(header);
    }
    static const std::regex kInclude(R"re(^\s*#\s*include\s*"([^"]+)")re");
    std::vector<std::string> problems;
    for (const SourceFile& file : files) {
        const std::string from = table.folderOf(file.path);
        if (from.empty()) continue;
        int number = 0;
        for (const std::string_view line : lines(file.text)) {
            ++number;
            std::match_results<std::string_view::const_iterator> match;
            if (!std::regex_search(line.begin(), line.end(), match, kInclude)) continue;
            const std::string included = match[1].str();
            const std::string beside =
                (fs::path(file.path).parent_path() / included).lexically_normal().string();
            std::vector<std::string> found;
            if (known.contains(beside)) {
                found = {beside};
            } else if (const auto named = byName.find(fs::path(included).filename().string());
                       named != byName.end()) {
                found = named->second;
            }
            // A name two folders use is the including folder's own, as its
            // include path finds it first.
            if (found.size() > 1) {
                std::vector<std::string> own;
                for (const std::string& header : found) {
                    if (table.folderOf(header) == from) own.push_back(header);
                }
                if (own.size() == 1) found = own;
            }
            const std::string where = file.path + ":" + std::to_string(number) + ": \"" +
                                      included + "\"";
            if (found.size() > 1) {
                problems.push_back(where + " names headers in more than one folder");
            } else if (found.size() == 1 && !table.allows(from, table.folderOf(found[0]))) {
                problems.push_back(where + " (" + table.folderOf(found[0]) +
                                   "): the table does not allow " + from + " -> " +
                                   table.folderOf(found[0]));
            }
        }
    }
    return problems;
}

}  // namespace zelvar::layers
