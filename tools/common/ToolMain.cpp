#include "ToolMain.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <exception>
#include <iostream>

namespace zelvar {

int Tool::fail(const std::string& message) const {
    std::cerr << name_ << ": " << message << '\n';
    return 2;
}

int Tool::help(const char* usage) const {
    std::cout << usage << std::flush;
    return std::cout ? 0 : fail("cannot write to stdout");
}

int Tool::checkStdout() const {
    if (::fcntl(STDOUT_FILENO, F_GETFD) >= 0) return 0;
    return fail(std::string("cannot write to stdout: ") + std::strerror(errno));
}

int RunTool(const char* name, int argc, char** argv,
            int (*body)(const Tool& tool, const std::vector<std::string>& args)) {
    const Tool tool(name);
    try {
        std::signal(SIGXFSZ, SIG_IGN);
        return body(tool, std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        return tool.fail(error.what());
    }
}

}  // namespace zelvar
