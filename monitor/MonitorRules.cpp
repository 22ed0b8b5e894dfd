#include "MonitorRules.h"

#include "LogFormat.h"
#include "Settings.h"

namespace zelvar {

namespace {

constexpr std::int64_t kRolloverLimit = 65535;

// The summary lists the types in the order the operator reads them in the
// settings dialog, which is not the order the store keeps them in.
constexpr std::array<std::string_view, 17> kSummaryOrder = {"03", "05", "07", "08", "09", "10",
                                                            "0B", "0D", "11", "24", "44", "6C",
                                                            "8C", "B4", "EC", "F4", "FC"};

bool flagSet(const std::array<bool, 17>& typeFlags, std::string_view name) {
    for (std::size_t i = 0; i < kTypeFlagNames.size(); ++i) {
        if (kTypeFlagNames[i] == name) return typeFlags[i];
    }
    return false;
}

}  // namespace

std::string_view ModeHeader(bool onlyRssi, bool gpsConnected) {
    if (!onlyRssi) return TextHeader;
    return gpsConnected ? GpsHeader : RssiHeader;
}

bool IsHeaderLine(std::string_view line) {
    return line == TextHeader || line == GpsHeader || line == RssiHeader;
}

HeaderEdit DecideHeaderEdit(std::string_view lastLine, std::string_view lineBefore,
                            bool monitoringChecked, std::string_view modeHeader) {
    HeaderEdit edit;
    if (monitoringChecked && IsHeaderLine(lastLine)) {
        edit.removeLast = true;
        lastLine = lineBefore;
    }
    if (IsHeaderLine(lastLine)) return edit;
    if (monitoringChecked) edit.append = modeHeader;
    return edit;
}

std::string TypeSummaryText(const std::array<bool, 17>& typeFlags, bool onlyRssi, bool gpsConnected,
                            bool monitoring) {
    std::string text = " Type: ";
    bool any = false;
    for (std::string_view name : kSummaryOrder) {
        if (!flagSet(typeFlags, name)) continue;
        text.append(name);
        text.push_back(' ');
        any = true;
    }
    if (!any) {
        text = " Not selected type of package";
    } else if (onlyRssi) {
        text = " Display Only RSSI";
    }
    if (onlyRssi && gpsConnected && monitoring) text = " GPS + RSSI";
    return text;
}

std::string AutoSaveStatusText(bool autoSave, bool editorVisible, bool newFileEvery65535,
                               bool hexLog) {
    if (!autoSave || editorVisible) return " Auto Save Disabled";
    std::string text = newFileEvery65535 ? " Auto Save 65 535" : " Auto Save";
    text += hexLog ? " Text + Hex" : " Text";
    return text;
}

bool AutoSaveDue(bool autoSave, bool editorVisible, bool logsSaved) {
    return autoSave && !editorVisible && !logsSaved;
}

Rollover DecideRollover(bool autoSave, bool newFileEvery65535, bool editorVisible, bool hexLog,
                        std::int64_t textCount, std::int64_t hexCount) {
    if (!autoSave || !newFileEvery65535 || editorVisible) return Rollover::None;
    if (!hexLog) return textCount > kRolloverLimit ? Rollover::TextOnly : Rollover::None;
    return hexCount > kRolloverLimit ? Rollover::TextAndHex : Rollover::None;
}

}  // namespace zelvar
