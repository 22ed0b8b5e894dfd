#pragma once

#include <QString>

namespace zelvar {

// What the user chooses when the logs could not be auto-saved before a
// Clear or a close.
enum class UnsavedChoice { SaveElsewhere, GoOnWithoutSaving, Cancel };

// The questions and boxes of the monitor's commands, each running an event
// loop of its own; the window puts them on the screen.
class MonitorDialogs {
public:
    virtual ~MonitorDialogs() = default;

    // "Decode...": a saved log to decode; empty when cancelled.
    virtual QString openLogFile() = 0;
    // "Save Data As...": the base name to save under; empty when cancelled.
    virtual QString saveLogsAs(const QString& proposedName) = 0;
    // An unexpected failure of a command, with the system's text.
    virtual void showError(const QString& text) = 0;
    // The logs could not be auto-saved (`reason`, with the system's text): what now?
    virtual UnsavedChoice askUnsavedLogs(const QString& reason, bool closing) = 0;
    // Asked once more before the unsaved logs are given up.
    virtual bool confirmLoss(bool closing) = 0;
};

}  // namespace zelvar
