#include "DisplayCheck.h"

#include <cstdlib>
#include <string_view>

namespace zelvar {

namespace {

bool named(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// A platform's name, its options after ':' aside; empty is Qt's default,
// the X11 one here.
bool needsDisplay(std::string_view platform) {
    platform = platform.substr(0, platform.find(':'));
    return platform.empty() || platform == "xcb" || platform.starts_with("wayland");
}

}  // namespace

std::string MissingDisplay(int argc, char* argv[]) {
    if (named("DISPLAY") || named("WAYLAND_DISPLAY")) return {};
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-platform" || argument == "--platform") return {};
    }
    // Several platforms, separated by ';', are tried in turn: one that needs
    // no display will do.
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    std::string_view platforms = chosen != nullptr ? chosen : "";
    for (;;) {
        const std::size_t end = platforms.find(';');
        if (!needsDisplay(platforms.substr(0, end))) return {};
        if (end == std::string_view::npos) break;
        platforms.remove_prefix(end + 1);
    }
    return "Zelvar: no display (neither DISPLAY nor WAYLAND_DISPLAY is set): run it in a "
           "desktop session, or with QT_QPA_PLATFORM=offscreen for a look without one";
}

}  // namespace zelvar
