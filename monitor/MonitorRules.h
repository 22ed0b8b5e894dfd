#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace zelvar {

// The rules of the main window that need no window: what the status panels
// say, which header belongs at the end of the text log, when the logs are
// written. The monitor model and its window ask these and do what they answer.

// The header line of the display mode: decoded lines, or RSSI-only lines
// with or without the own position.
std::string_view ModeHeader(bool onlyRssi, bool gpsConnected);

// True when a line is one of the three column header lines exactly.
bool IsHeaderLine(std::string_view line);

// What the display-mode refresh does to the end of the text log.
struct HeaderEdit {
    bool removeLast = false;  // delete the trailing header line
    std::string_view append;  // header to append; empty for none
};

// lastLine and lineBefore are the last two lines of the text log (empty
// texts where the log is shorter). While monitoring, a trailing header is
// replaced by the one of the current mode; after data lines the header of
// the current mode is appended. Outside monitoring nothing changes.
HeaderEdit DecideHeaderEdit(std::string_view lastLine, std::string_view lineBefore,
                            bool monitoringChecked, std::string_view modeHeader);

// Status panel 5: the enabled package types, or the display mode. The flags
// are in the order of kTypeFlagNames.
std::string TypeSummaryText(const std::array<bool, 17>& typeFlags, bool onlyRssi, bool gpsConnected,
                            bool monitoring);

// Status panel 1.
std::string AutoSaveStatusText(bool autoSave, bool editorVisible, bool newFileEvery65535,
                               bool hexLog);

// Clear and close write the logs only when something arrived since the last
// save and the editor is not holding the views.
bool AutoSaveDue(bool autoSave, bool editorVisible, bool logsSaved);

enum class Rollover { None, TextOnly, TextAndHex };

// New files every 65 535 packages: with the hex log on both views are
// written and emptied after 65 536 packages, with it off only the text view
// after 65 536 text lines.
Rollover DecideRollover(bool autoSave, bool newFileEvery65535, bool editorVisible, bool hexLog,
                        std::int64_t textCount, std::int64_t hexCount);

}  // namespace zelvar
