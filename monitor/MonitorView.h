#pragma once

#include <QString>
#include <string_view>

#include "LogBytes.h"

namespace zelvar {

class LineStore;

// The window's check marks and toggles that the monitor reads and sets.
enum class ViewToggle {
    StartMonitoring,    // "Start Monitoring"
    StartGps,           // "Start GPS"
    AutoSave,           // "Auto Save On"
    NewFileEvery65535,  // "New File Every 65 535 Packages"
    HexLog,             // "Hex Log"
    EditorShown,        // the editor window is shown (read only)
};

// The window's controls that the monitor enables and disables.
enum class ViewControl {
    Decode,             // "Decode..." alone (the editor's own decoding runs)
    GpsPortBox,         // the "Port:" box
    CopyGps,            // "Copy GPS Coordinates to Clipboard"
    AddressFields,      // the transceivers' fields of the settings dialog
    NewFileEvery65535,  // "New File Every 65 535 Packages"
};

// Where a monitoring session or an offline decoding stands, for the
// commands and views it locks.
enum class RunPhase {
    SessionStarting,
    SessionEnding,
    SessionEnded,
    // The settings dialog and the editor's Decode button go out of the way.
    DecodingStarting,
    // The lines are being decoded: the text log takes the keyboard focus,
    // so that Esc stops them.
    Decoding,
    DecodingEnded,
};

// The two log views.
enum class LogPane { Text, Hex };

// How the monitor speaks to its window: the log views' lines, the status
// panels, the S-meters, the GPS labels, the commands it enables and the
// check marks it reads. The main window implements it; nothing here lets the
// monitor see a widget.
class MonitorView {
public:
    virtual ~MonitorView() = default;

    // --- the log views ---
    // Lines joined by '\n', appended.
    virtual void appendLines(LogPane pane, std::string_view joined) = 0;
    // A store's lines appended without copying them.
    virtual void appendStore(LogPane pane, LineStore&& lines) = 0;
    virtual bool logEmpty(LogPane pane) const = 0;
    // The saved bytes as they stand, sharing the view's memory; and the same
    // with the view emptied.
    virtual LogBytes logSnapshot(LogPane pane) const = 0;
    virtual LogBytes takeLog(LogPane pane) = 0;
    // Writes the header line that fits the display mode at the end of the text log.
    virtual void refreshDisplayMode() = 0;

    // --- status panels 1..7; the sixth (lost datagrams) and the seventh
    // (publishing) show only while they have a text. The hint is the tooltip.
    virtual QString statusText(int panel) const = 0;
    virtual void setStatusText(int panel, const QString& text) = 0;
    virtual void setStatusHint(int panel, const QString& hint) = 0;
    // Draws the counts and the progress at once, with no events run.
    virtual void drawStatusNow() = 0;

    // --- the GPS strip ---
    // Port 1..4, position 0..9.
    virtual void setSMeter(int port, int position) = 0;
    // The S-meters' tooltips name the transceivers' addresses.
    virtual void updateSMeterHints() = 0;
    // The port chosen in the "Port:" box.
    virtual QString gpsPortName() const = 0;
    virtual void showGpsLabels(const QString& time, const QString& lat, const QString& lon,
                               const QString& pdop) = 0;
    virtual void setGpsLabelsVisible(bool visible) = 0;

    // --- commands ---
    // Setting a toggle does not run its command; only "Start Monitoring" and
    // "Start GPS" are set.
    virtual bool toggled(ViewToggle toggle) const = 0;
    virtual void setToggled(ViewToggle toggle, bool on) = 0;
    virtual void setControlEnabled(ViewControl control, bool enabled) = 0;
    virtual void phaseChanged(RunPhase phase) = 0;
};

}  // namespace zelvar
