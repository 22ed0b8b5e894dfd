#pragma once

#include <QString>
#include <string_view>

namespace zelvar {

class LineList;

// The window's check marks and toggles that the monitor reads and sets.
enum class ViewToggle {
    StartMonitoring,  // "Start Monitoring"
    StartGps,         // "Start GPS"
};

// The window's controls that the monitor enables and disables.
enum class ViewControl {
    Decode,         // "Decode..." alone (the editor's own decoding runs)
    GpsPortBox,     // the "Port:" box
    CopyGps,        // "Copy GPS Coordinates to Clipboard"
    AddressFields,  // the transceivers' fields of the settings dialog
};

// Where a monitoring session stands, for the commands and views it locks.
enum class SessionPhase { Starting, Ending, Ended };

// The two log views.
enum class LogPane { Text, Hex };

// How the monitor speaks to its window: the lines appended to the log views,
// the status panels, the S-meters, the GPS labels, the commands it enables
// and the check marks it reads. The main window implements it; nothing here
// lets the monitor see a widget.
class MonitorView {
public:
    virtual ~MonitorView() = default;

    // Lines joined by '\n', appended to a log view.
    virtual void appendLines(LogPane pane, std::string_view joined) = 0;
    virtual bool textLogEmpty() const = 0;
    // Status panel 1 and its tooltip, from the check marks of "Auto Save"
    // and the state of the saves.
    virtual void refreshAutoSaveStatus() = 0;
    // New auto-save files every 65 535 packages, when due.
    virtual void rolloverCheck() = 0;

    // Status panels 1..7; the sixth (lost datagrams) and the seventh
    // (publishing) show only while they have a text. The hint is the tooltip.
    virtual QString statusText(int panel) const = 0;
    virtual void setStatusText(int panel, const QString& text) = 0;
    virtual void setStatusHint(int panel, const QString& hint) = 0;

    // Port 1..4, position 0..9.
    virtual void setSMeter(int port, int position) = 0;
    // The S-meters' tooltips name the transceivers' addresses.
    virtual void updateSMeterHints() = 0;

    // Setting a toggle does not run its command.
    virtual bool toggled(ViewToggle toggle) const = 0;
    virtual void setToggled(ViewToggle toggle, bool on) = 0;
    virtual void setControlEnabled(ViewControl control, bool enabled) = 0;
    virtual void sessionPhaseChanged(SessionPhase phase) = 0;

    // The port chosen in the "Port:" box.
    virtual QString gpsPortName() const = 0;
    virtual void showGpsLabels(const QString& time, const QString& lat, const QString& lon,
                               const QString& pdop) = 0;
    virtual void setGpsLabelsVisible(bool visible) = 0;

    // Decodes the offline decoder's input under the title, into the views.
    virtual void runOfflineDecoding(const QString& title) = 0;
    // What the offline run needs of the window while it runs: the keyboard
    // focus in the text log (for Esc), window events between lines, the
    // status panels drawn at once, and the lines it collected.
    virtual void focusTextLog() = 0;
    virtual void processPendingEvents() = 0;
    virtual void drawStatusNow() = 0;
    virtual void showDecodedLines(const LineList& textLines, const LineList& hexLines) = 0;
    // Writes the header line that fits the display mode at the end of the text log.
    virtual void refreshDisplayMode() = 0;
    // The standard error box (a modal one: the monitor runs it as a question).
    virtual void showErrorBox(const QString& text) = 0;
};

}  // namespace zelvar
