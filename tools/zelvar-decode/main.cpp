#include <QFileInfo>
#include <QString>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "DecodeCommand.h"
#include "SettingsStore.h"

namespace {

constexpr const char* kUsage =
    "Usage: zelvar-decode [--settings FILE] [--hex-out FILE] LOGFILE\n"
    "\n"
    "Decodes a saved Zelvar hex log exactly as the main window's File > Decode\n"
    "does (GPS port closed) and prints the text log it would show.\n"
    "\n"
    "  --settings FILE  take the settings from FILE, an INI file in the format of\n"
    "                   the settings store (missing values take their defaults);\n"
    "                   default: the user's store ~/.config/Kavren/Zelvar.conf\n"
    "  --hex-out FILE   write the regenerated hex log to FILE (CR LF line ends)\n"
    "  --help           show this text\n"
    "\n"
    "stdout: the title line, the column header, the decoded lines and \"End\".\n"
    "stderr: the counts text \" T <text lines> / H <packages>\" as its last line.\n"
    "Exit status: 0 when decoded, 2 on a bad option or an unreadable file.\n";

int fail(const std::string& message) {
    std::cerr << "zelvar-decode: " << message << '\n';
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + 1, argv + argc);
    zelvar::DecodeOptions options;
    std::string error;
    if (!zelvar::ParseDecodeOptions(args, options, error)) {
        return fail(error + " (see --help)");
    }
    if (options.help) {
        std::cout << kUsage;
        return 0;
    }

    const QFileInfo logInfo(QString::fromLocal8Bit(options.logFile.c_str()));
    if (!logInfo.isFile() || !logInfo.isReadable()) {
        return fail("cannot read log file '" + options.logFile + "'");
    }

    zelvar::Settings settings;
    if (!options.settingsFile.empty()) {
        const QFileInfo info(QString::fromLocal8Bit(options.settingsFile.c_str()));
        if (!info.isFile() || !info.isReadable()) {
            return fail("cannot read settings file '" + options.settingsFile + "'");
        }
        zelvar::SettingsStore store(info.absoluteFilePath());
        settings = store.load();
        if (store.status() != QSettings::NoError) {
            return fail("settings file '" + options.settingsFile + "' is not a valid settings file");
        }
    } else {
        zelvar::SettingsStore store;
        settings = store.load();
    }

    std::ofstream hexFile;
    if (!options.hexOutFile.empty()) {
        hexFile.open(options.hexOutFile, std::ios::binary | std::ios::trunc);
        if (!hexFile) return fail("cannot write hex output file '" + options.hexOutFile + "'");
    }

    const int status = zelvar::RunDecode(options, settings, std::cout,
                                         hexFile.is_open() ? &hexFile : nullptr, std::cerr);
    if (status == 0 && hexFile.is_open()) {
        hexFile.flush();
        if (!hexFile) return fail("cannot write hex output file '" + options.hexOutFile + "'");
    }
    return status;
}
