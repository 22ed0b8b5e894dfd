// Checks the tree against the table of allowed folder edges:
//
//   folder_edges_check TABLE BUILD-TARGETS TREE README
//
// every target's links, every quoted #include of the program's sources and
// tests, the table itself (no folder reaches itself) and its copy in the
// README. Prints each breach; exit status 1 if there is one, 2 on bad usage.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "FolderEdges.h"

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The README shows the table between two marks, as the file has it.
std::string readmeTable(const std::string& readme) {
    const std::string begin = "<!-- folder edges -->\n```\n";
    const auto start = readme.find(begin);
    if (start == std::string::npos) return {};
    const auto end = readme.find("```\n", start + begin.size());
    return end == std::string::npos ? std::string()
                                    : readme.substr(start + begin.size(),
                                                    end - start - begin.size());
}

}  // namespace

int main(int argc, char* argv[]) {
    using namespace zelvar::layers;
    if (argc != 5) {
        std::cerr << "usage: folder_edges_check TABLE BUILD-TARGETS TREE README\n";
        return 2;
    }
    try {
        const std::string tableText = readFile(argv[1]);
        std::vector<std::string> problems;
        const EdgeTable table = EdgeTable::parse(tableText, problems);
        for (const std::string& folder : table.cycles()) {
            problems.push_back("table: " + folder + " reaches itself through its edges");
        }
        if (readmeTable(readFile(argv[4])) != tableText) {
            problems.push_back("README: the table under <!-- folder edges --> is not " +
                               std::string(argv[1]));
        }
        const auto links = CheckLinks(table, BuildTargets::parse(readFile(argv[2])));
        problems.insert(problems.end(), links.begin(), links.end());

        const fs::path tree = argv[3];
        std::vector<std::string> headers;
        std::vector<SourceFile> files;
        for (const auto& [folder, rule] : table.folders) {
            if (!fs::is_directory(tree / folder)) {
                problems.push_back("table: folder " + folder + " is not in the tree");
                continue;
            }
            for (const auto& entry : fs::recursive_directory_iterator(tree / folder)) {
                const std::string extension = entry.path().extension().string();
                if (!entry.is_regular_file() || (extension != ".h" && extension != ".cpp")) continue;
                const std::string path = entry.path().lexically_relative(tree).string();
                // Rows nest (tools/common in tools): each file is read once.
                if (table.folderOf(path) != folder) continue;
                if (extension == ".h") headers.push_back(path);
                files.push_back({path, readFile(entry.path())});
            }
        }
        const auto includes = CheckIncludes(table, headers, files);
        problems.insert(problems.end(), includes.begin(), includes.end());
        for (const std::string& problem : problems) std::cout << problem << '\n';
        std::cout << files.size() << " files, " << table.folders.size() << " folders: "
                  << (problems.empty() ? "every edge allowed" : "edges the table does not allow")
                  << '\n';
        return problems.empty() ? 0 : 1;
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 2;
    }
}
