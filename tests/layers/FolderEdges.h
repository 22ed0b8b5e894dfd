#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace zelvar::layers {

// One row of the table of allowed folder edges: what the folder's code may
// include and its targets may link, of the program's folders and of the
// libraries from outside.
struct FolderRule {
    std::set<std::string> uses;  // "*": every folder of the program
    std::set<std::string> outside;
};

// The table: a row per folder, "folder -> used folders | outside libraries",
// '#' starting a comment; "-" for none.
struct EdgeTable {
    std::map<std::string, FolderRule> folders;

    static EdgeTable parse(std::string_view text, std::vector<std::string>& problems);
    // The row whose folder holds `path` (relative to the tree), the longest
    // one that matches; empty when none does.
    std::string folderOf(std::string_view path) const;
    bool allows(const std::string& from, const std::string& to) const;
    // Rows that reach themselves through the edges they allow: a folder
    // may only use folders below it.
    std::vector<std::string> cycles() const;
};

// The build's targets as configuring wrote them: each target's folder, the
// links it names as written, and the imported targets.
struct BuildTargets {
    std::map<std::string, std::string> folderOf;  // target -> folder path
    std::vector<std::pair<std::string, std::string>> links;  // target, link as written
    std::set<std::string> imported;

    static BuildTargets parse(std::string_view text);
};

// The names a link item stands for once its generator expressions are
// read as the build reads them ($<BUILD_INTERFACE:x>, $<LINK_ONLY:x> and
// conditions give x; $<INSTALL_INTERFACE:x> nothing).
std::vector<std::string> LinkNames(std::string_view item);

// Each link that leaves its folder for one the table does not allow, names
// a library the table does not list for the folder, or names no target at
// all (a misspelt one); each target in a folder without a row.
std::vector<std::string> CheckLinks(const EdgeTable& table, const BuildTargets& targets);

// A source file of the program and its text.
struct SourceFile {
    std::string path;  // relative to the tree
    std::string text;
};

// Each quoted #include of a header of the tree that lies in a folder the
// including file's folder may not use. `headers` lists every header of the
// tree (relative paths); an include is found beside its file first, then by
// its name anywhere in the tree.
std::vector<std::string> CheckIncludes(const EdgeTable& table,
                                       const std::vector<std::string>& headers,
                                       const std::vector<SourceFile>& files);

}  // namespace zelvar::layers
