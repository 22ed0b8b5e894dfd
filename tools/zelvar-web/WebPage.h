#pragma once

#include <span>
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
constexpr const char* kPagePolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; img-src 'self'; "
    "base-uri 'none'; form-action 'self'; frame-ancestors 'none'";

}  // namespace zelvar
