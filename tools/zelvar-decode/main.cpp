#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "DecodeCommand.h"
#include "ReadWholeFile.h"
#include "ToolMain.h"
#include "ToolSettings.h"

namespace {

constexpr const char* kUsage =
    "Usage: zelvar-decode [--settings FILE] [--hex-out FILE] [--json [--station NAME]]\n"
    "                     LOGFILE\n"
    "\n"
    "Decodes a saved Zelvar hex log exactly as the main window's File > Decode\n"
    "does (GPS port closed) and prints the text log it would show.\n"
    "\n"
    "  --settings FILE  take the settings from FILE, an INI file in the format of\n"
    "                   the settings store (missing values take their defaults);\n"
    "                   default: the user's store ~/.config/Kavren/Zelvar.conf\n"
    "  --hex-out FILE   write the regenerated hex log to FILE (CR LF line ends)\n"
    "  --json           print every package as one JSON object per line instead\n"
    "                   of the text log (the form of docs/package.schema.json)\n"
    "  --station NAME   the station named in the JSON objects; default: the host\n"
    "                   name\n"
    "  --help           show this text\n"
    "\n"
    "stdout: the title line, the column header, the decoded lines and \"End\";\n"
    "with --json, one object per package and nothing else.\n"
    "stderr: the counts text \" T <text lines> / H <packages>\" as its last line;\n"
    "a line longer than 1 MiB is skipped and counted on the line before.\n"
    "Exit status: 0 when decoded, 2 on a bad option, an unreadable file, a failed\n"
    "write, or an output that is the log file itself.\n";

int decode(const zelvar::Tool& tool, const std::vector<std::string>& args) {
    zelvar::DecodeOptions options;
    std::string error;
    if (!zelvar::ParseDecodeOptions(args, options, error)) {
        return tool.fail(error + " (see --help)");
    }
    if (options.help) return tool.help(kUsage);
    if (const int closed = tool.checkStdout()) return closed;

    // Without a writer, a FIFO would hold open() until one comes, only to be
    // refused then.
    int logFd = -1;
    try {
        logFd = zelvar::OpenRegularFile(options.logFile);
    } catch (const zelvar::WholeFileError& refused) {
        return tool.fail("cannot read log file '" + options.logFile + "': " + refused.what());
    }

    zelvar::Settings settings;
    std::string settingsPath;
    if (!zelvar::LoadToolSettings(options.settingsFile, settings, error, &settingsPath)) {
        return tool.fail(error);
    }

    return zelvar::RunDecode(options, settings, logFd, STDOUT_FILENO, std::cerr, settingsPath);
}

}  // namespace

int main(int argc, char** argv) {
    return zelvar::RunTool("zelvar-decode", argc, argv, decode);
}
