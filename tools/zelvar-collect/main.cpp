#include <unistd.h>

#include <cstring>
#include <exception>
#include <iostream>
#include <system_error>

#include "CollectOptions.h"
#include "LogImport.h"
#include "PackageStore.h"
#include "ReadWholeFile.h"
#include "ToolSettings.h"

namespace {

constexpr const char* kUsage =
    "Usage: zelvar-collect --database CONNINFO --import FILE.hex --station NAME\n"
    "                      [--settings FILE]\n"
    "\n"
    "Stores every package of a saved Zelvar hex log in the PostgreSQL table\n"
    "\"packages\" (made on first use in the connection's default schema), one\n"
    "row for each package zelvar-decode counts in that log. Importing the same\n"
    "log again stores nothing twice.\n"
    "\n"
    "  --database CONNINFO  a libpq connection string (\"host=db dbname=radio\",\n"
    "                       \"postgresql://...\"); an empty one takes libpq's\n"
    "                       environment: PGHOST, PGPORT, PGUSER, PGDATABASE ...\n"
    "  --import FILE.hex    the saved hex log\n"
    "  --station NAME       the station that recorded it (no '/', '+' or '#')\n"
    "  --settings FILE      decode with the settings of FILE, an INI file in the\n"
    "                       format of the settings store; default: the user's\n"
    "  --help               show this text\n"
    "\n"
    "stderr: \"<packages> packages, <new> new\" when done.\n"
    "Exit status: 0 when stored, 2 after a one-line message on a bad option, an\n"
    "unreadable file or a database error.\n";

int fail(const std::string& message) {
    std::cerr << "zelvar-collect: " << message << '\n';
    return 2;
}

}  // namespace

int main(int argc, char** argv) try {
    std::vector<std::string> args(argv + 1, argv + argc);
    zelvar::CollectOptions options;
    std::string error;
    if (!zelvar::ParseCollectOptions(args, options, error)) return fail(error + " (see --help)");
    if (options.help) {
        std::cout << kUsage << std::flush;
        return std::cout ? 0 : fail("cannot write to stdout");
    }

    int logFd = -1;
    try {
        logFd = zelvar::OpenRegularFile(options.importFile);
    } catch (const zelvar::WholeFileError& refused) {
        return fail("cannot read log file '" + options.importFile + "': " + refused.what());
    }

    zelvar::Settings settings;
    if (!zelvar::LoadToolSettings(options.settingsFile, settings, error)) {
        return fail(error);
    }

    try {
        zelvar::PackageStore store(*options.database);
        const zelvar::ImportResult result = zelvar::ImportLog(logFd, options.station, settings, store);
        ::close(logFd);
        std::cerr << result.packages << " packages, " << result.stored << " new\n";
        return 0;
    } catch (const zelvar::StoreError& failed) {
        return fail(failed.what());
    } catch (const std::system_error& failed) {
        return fail("cannot read log file '" + options.importFile + "': " +
                    std::strerror(failed.code().value()));
    }
} catch (const std::exception& error) {
    return fail(error.what());
}
