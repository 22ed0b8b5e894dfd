#pragma once

#include <string>
#include <vector>

namespace zelvar {

// What a command-line tool reports the same way as every other: failures
// as one line "<tool>: <message>" on stderr with the exit status 2, and its
// usage text.
class Tool {
public:
    explicit Tool(const char* name) : name_(name) {}

    // Writes the message; gives the exit status 2.
    int fail(const std::string& message) const;
    // Writes the usage text to stdout; gives 0, or a failure when stdout
    // cannot take it.
    int help(const char* usage) const;
    // 0 while stdout is open; otherwise a failure. With stdout closed, the
    // next file opened would become descriptor 1 and be taken for it.
    int checkStdout() const;

private:
    const char* name_;
};

// Runs a tool's `body` with its arguments (without the program name). A
// write beyond the file size limit fails like any other write, with a
// message, rather than ending the process; whatever `body` throws (out of
// memory on a line of gigabytes, most likely) ends it as a failure.
int RunTool(const char* name, int argc, char** argv,
            int (*body)(const Tool& tool, const std::vector<std::string>& args));

}  // namespace zelvar
