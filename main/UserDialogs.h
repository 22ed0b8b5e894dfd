#pragma once

#include <QString>
#include <memory>

#include "MonitorDialogs.h"

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
    using UnsavedChoice = zelvar::UnsavedChoice;
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

// The dialogs with the main window as their parent, as the monitor model
// asks them.
class WindowDialogs : public MonitorDialogs {
public:
    explicit WindowDialogs(QWidget& parent) : parent_(parent) {}
    // Not owned; nullptr returns to the platform's dialogs.
    void use(UserDialogs* dialogs) { chosen_ = dialogs; }

    QString openLogFile() override { return dialogs().openLogFile(&parent_); }
    QString saveLogsAs(const QString& proposedName) override {
        return dialogs().saveLogsAs(&parent_, proposedName);
    }
    void showError(const QString& text) override { dialogs().showError(&parent_, text); }
    UnsavedChoice askUnsavedLogs(const QString& reason, bool closing) override {
        return dialogs().askUnsavedLogs(&parent_, reason, closing);
    }
    bool confirmLoss(bool closing) override { return dialogs().confirmLoss(&parent_, closing); }

private:
    UserDialogs& dialogs();

    QWidget& parent_;
    UserDialogs* chosen_ = nullptr;
    std::unique_ptr<UserDialogs> own_;
};

}  // namespace zelvar
