#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <new>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "DurableFile.h"
#include "EditTool.h"
#include "LogLineReader.h"
#include "ReadWholeFile.h"
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
    "The input may be 256 MiB at most, a line 1 MiB; FILE may be a FIFO, not a device.\n"
    "Exit status: 0, or 2 on bad usage, an unreadable or larger input, a longer line,\n"
    "an unwritable stdout, or stdout into the input itself.\n";

int fail(const std::string& message) {
    std::cerr << message << '\n';
    return 2;
}

std::string errorText(int error) { return std::strerror(error != 0 ? error : EIO); }

// A failed write on stdout.
struct WriteError {
    int error;
};

void writeAll(int fd, std::string_view bytes) {
    if (const int error = zelvar::WriteAll(fd, bytes); error != 0) throw WriteError{error};
}

constexpr std::size_t kBlock = 256 * 1024;

// Reads the next block into `to`; 0 at the end.
std::size_t readBlock(int fd, char* to, std::size_t room) {
    for (;;) {
        const ssize_t n = ::read(fd, to, room);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) throw std::system_error(errno, std::generic_category());
    }
}

// A regular file is read twice rather than held: once to learn that it
// fits and whether it is UTF-8, which the editor decides over the whole text
// before it looks at a line, then line by line.
void runOverFile(int fd, off_t start, zelvar::EditRun::Sink sink,
                 const std::optional<zelvar::Transform>& transform, bool crlf) {
    zelvar::InputScan scan(zelvar::kWholeFileLimit);
    std::vector<char> block(kBlock);
    while (const std::size_t n = readBlock(fd, block.data(), block.size())) {
        scan.add(std::string_view(block.data(), n));
    }
    if (::lseek(fd, start, SEEK_SET) != start) throw std::system_error(errno, std::generic_category());
    zelvar::EditRun run(transform, scan.utf8() ? zelvar::TextUnits::Utf8 : zelvar::TextUnits::Bytes,
                        crlf, std::move(sink));
    zelvar::LogLineReader lines(fd);
    std::string_view line;
    while (lines.next(line)) run.add(line);
    run.finish();
}

// A pipe or a terminal is held, up to the limit, in memory set aside for
// the limit at once and taken only as it fills: it is never copied to grow,
// so endless input is refused holding no more than the limit.
void runOverStream(int fd, zelvar::EditRun::Sink sink,
                   const std::optional<zelvar::Transform>& transform, bool crlf) {
    const std::size_t room = zelvar::kWholeFileLimit + 1;
    void* const held = ::mmap(nullptr, room, PROT_READ | PROT_WRITE,
                              MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (held == MAP_FAILED) throw std::bad_alloc();
    const struct Unmap {
        void* at;
        std::size_t size;
        ~Unmap() { ::munmap(at, size); }
    } unmap{held, room};
    char* const text = static_cast<char*>(held);
    zelvar::InputScan scan(zelvar::kWholeFileLimit);
    std::size_t size = 0;
    // One byte beyond the limit tells input of exactly the limit from more.
    while (const std::size_t n = readBlock(fd, text + size, std::min(kBlock, room - size))) {
        scan.add(std::string_view(text + size, n));
        size += n;
    }
    zelvar::EditRun run(transform, scan.utf8() ? zelvar::TextUnits::Utf8 : zelvar::TextUnits::Bytes,
                        crlf, std::move(sink));
    run.addText(std::string_view(text, size));
    run.finish();
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
    const std::string inputName =
        fromStdin ? std::string("standard input") : "FILE '" + *options.file + "'";
    auto cannotRead = [&inputName](const std::string& reason) {
        return fail("zelvar-edit: cannot read " + inputName + ": " + reason);
    };
    // A device named as FILE is not opened: reading /dev/zero would never
    // end, and opening some devices does something. Standard input is taken
    // as it comes, a terminal too.
    struct stat info {};
    if (!fromStdin && ::stat(options.file->c_str(), &info) == 0 &&
        (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) || S_ISSOCK(info.st_mode))) {
        return cannotRead("not a regular file or FIFO");
    }
    // A FIFO named as FILE waits for its writer, as it would for any reader.
    const int fd = fromStdin ? STDIN_FILENO : ::open(options.file->c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fstat(fd, &info) != 0) return cannotRead(errorText(errno));
    if (S_ISDIR(info.st_mode)) return cannotRead(errorText(EISDIR));

    // Output over the input would destroy it before it is read.
    zelvar::FileIdentity input, output;
    if (zelvar::IdentityOf(fd, "input file", input) &&
        zelvar::IdentityOf(STDOUT_FILENO, "stdout", output)) {
        if (const std::string refused = zelvar::OutputOverInput({input}, {output}); !refused.empty()) {
            return fail("zelvar-edit: " + refused);
        }
    }

    auto sink = [](std::string_view bytes) { writeAll(STDOUT_FILENO, bytes); };
    try {
        const off_t start = S_ISREG(info.st_mode) ? ::lseek(fd, 0, SEEK_CUR) : -1;
        if (start >= 0) {
            if (info.st_size - start > static_cast<off_t>(zelvar::kWholeFileLimit)) {
                throw zelvar::TooLargeError(zelvar::kWholeFileLimit);
            }
            runOverFile(fd, start, sink, transform, options.crlf);
        } else {
            runOverStream(fd, sink, transform, options.crlf);
        }
    } catch (const WriteError& failed) {
        return fail("zelvar-edit: cannot write standard output: " + errorText(failed.error));
    } catch (const zelvar::WholeFileError& failed) {
        return cannotRead(failed.what());
    } catch (const zelvar::LineTooLongError& failed) {
        return cannotRead("line " + std::to_string(failed.line) + " is longer than 1 MiB");
    } catch (const std::system_error& failed) {
        return cannotRead(errorText(failed.code().value()));
    } catch (const std::bad_alloc&) {
        return fail("zelvar-edit: out of memory on " + inputName);
    }
    return 0;
}
