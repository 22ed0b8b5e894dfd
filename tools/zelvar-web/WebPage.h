#pragma once

#include <span>
#include <string>
#include <string_view>

namespace zelvar {

// One file of the page, built into the program.
struct PageFile {
    std::string_view path;  // as requested: "/", "/app.js"
    std::string_view type;  // its Content-Type
    std::string_view body;
};

// The page: its HTML, script and style (from page/ in the source tree).
std::span<const PageFile> PageFiles();

// The page's own policy: scripts, styles and requests from this server only,
// nothing inline, no frames around it; its logout form goes to this server.
// Images may come from the origin of a tile server (`tiles`, if any).
std::string PagePolicy(std::string_view tilesOrigin);

// A file of a JavaScript library of the system's own (Debian's libjs-*),
// served as it is installed.
struct LibraryFile {
    std::string_view path;  // as requested: "/lib/chart.js"
    std::string_view type;
    std::string_view file;  // where the package installs it
};
std::span<const LibraryFile> LibraryFiles();

}  // namespace zelvar
