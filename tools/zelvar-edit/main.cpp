#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "EditTool.h"
#include "SameFile.h"

namespace {

constexpr const char* kUsage =
    "Usage: zelvar-edit COMMAND [--byte N] [--type TT] [--crlf] [FILE]\n"
    "\n"
    "Runs one of the log editor's commands over FILE (or standard input) and\n"
    "writes the lines the editor would show, LF after each.\n"
    "\n"
    "Commands:\n"
    "  strip-stamps   drop everything up to the first tab (Port / Date / Time)\n"
    "  spaces         keep only the hex characters 0..F\n"
    "  divide         hex characters in pairs with single blanks\n"
    "  hex-to-byte    each hex pair as a three-digit decimal\n"
    "  byte-to-hex    each three decimal digits as hex\n"
    "  min16          keep lines longer than 15 characters\n"
    "  mask           keep lines whose byte --byte (default 4) is --type (default 0B)\n"
    "  packets-0b-05  keep lines whose byte 4 is 0B or 05\n"
    "  short          keep lines longer than 80 characters\n"
    "  sort-ports     group the lines by their port digit 1..4, drop the rest\n"
    "\n"
    "  --crlf  end each line with CR LF\n"
    "Exit status: 0, or 2 on bad usage or an unreadable FILE.\n";

int fail(const std::string& message) {
    std::cerr << message << '\n';
    return 2;
}

std::string errorText(int error) { return std::strerror(error != 0 ? error : EIO); }

// A log of a hundred megabytes is read into fresh memory once: in large pages
// that costs a few hundred page faults instead of tens of thousands.
void adviseLargePages(std::string& text) {
#if defined(MADV_HUGEPAGE)
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto begin = (reinterpret_cast<std::uintptr_t>(text.data()) + page - 1) / page * page;
    const auto end = (reinterpret_cast<std::uintptr_t>(text.data()) + text.capacity()) / page * page;
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)text;
#endif
}

// The whole input in one buffer: the editor works on the whole document.
bool readAll(int fd, std::string& text, int& error) {
    constexpr std::size_t kChunk = 65536;
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        text.reserve(static_cast<std::size_t>(info.st_size) + 1);
        adviseLargePages(text);
    }
    std::size_t size = 0;
    for (;;) {
        // A regular file fills its reserved room at once; a pipe grows by doubling.
        if (text.size() == size) text.resize(std::max(text.capacity(), std::max(2 * size, kChunk)));
        const ssize_t n = ::read(fd, text.data() + size, text.size() - size);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        size += static_cast<std::size_t>(n);
    }
    text.resize(size);
    return true;
}

bool writeAll(int fd, const std::string& text, int& error) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    zelvar::EditOptions options;
    std::string error;
    if (!zelvar::ParseEditOptions(args, options, error)) {
        return fail("zelvar-edit: " + error + " (see --help)");
    }
    if (options.help) {
        std::cout << kUsage;
        return 0;
    }

    std::optional<zelvar::Transform> transform;
    try {
        transform = zelvar::CommandTransform(options);
    } catch (const zelvar::InvalidIntegerError& e) {
        // The editor's own message, which scripts may compare.
        return fail(e.what());
    }

    const bool fromStdin = !options.file || *options.file == "-";
    const int fd = fromStdin ? STDIN_FILENO : ::open(options.file->c_str(), O_RDONLY | O_CLOEXEC);
    std::string text;
    int readError = errno;
    // Output over the input would destroy it before it is read.
    zelvar::FileIdentity input, output;
    if (fd >= 0 && zelvar::IdentityOf(fd, "input file", input) &&
        zelvar::IdentityOf(STDOUT_FILENO, "stdout", output)) {
        if (const std::string refused = zelvar::OutputOverInput({input}, {output}); !refused.empty()) {
            return fail("zelvar-edit: " + refused);
        }
    }
    if (fd < 0 || !readAll(fd, text, readError)) {
        return fail("zelvar-edit: cannot read " +
                    (fromStdin ? std::string("standard input") : "FILE '" + *options.file + "'") +
                    ": " + errorText(readError));
    }
    if (!fromStdin) ::close(fd);

    const std::string out = zelvar::RunEdit(std::move(transform), options.crlf, std::move(text));
    int writeError = 0;
    if (!writeAll(STDOUT_FILENO, out, writeError)) {
        return fail("zelvar-edit: cannot write standard output: " + errorText(writeError));
    }
    return 0;
}
