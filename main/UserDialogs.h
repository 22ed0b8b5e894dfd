#pragma once

#include <QString>

class QWidget;

namespace zelvar {

// The file dialogs and message boxes of the main window's commands, behind
// one seam so that tests can answer them without a modal loop.
class UserDialogs {
public:
    virtual ~UserDialogs() = default;

    // "Decode...": a saved log to decode; empty when cancelled.
    virtual QString openLogFile(QWidget* parent) = 0;
    // "Save Data As...": the base name to save under, as chosen (the dialog
    // asks before overwriting it); empty when cancelled.
    virtual QString saveLogsAs(QWidget* parent, const QString& proposedName) = 0;
    // An unexpected failure of the command, with the system's text.
    virtual void showError(QWidget* parent, const QString& text) = 0;

    // The logs could not be auto-saved before a Clear or a close (`reason`,
    // with the system's text): what now?
    enum class UnsavedChoice { SaveElsewhere, GoOnWithoutSaving, Cancel };
    virtual UnsavedChoice askUnsavedLogs(QWidget* /*parent*/, const QString& /*reason*/,
                                         bool /*closing*/) {
        return UnsavedChoice::Cancel;
    }
    // Asked once more before the unsaved logs are given up.
    virtual bool confirmLoss(QWidget* /*parent*/, bool /*closing*/) { return false; }
};

// The platform's dialogs.
class WidgetDialogs : public UserDialogs {
public:
    QString openLogFile(QWidget* parent) override;
    QString saveLogsAs(QWidget* parent, const QString& proposedName) override;
    void showError(QWidget* parent, const QString& text) override;
    UnsavedChoice askUnsavedLogs(QWidget* parent, const QString& reason, bool closing) override;
    bool confirmLoss(QWidget* parent, bool closing) override;
};

}  // namespace zelvar
