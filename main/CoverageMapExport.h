#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

#include "CoverageFormats.h"

class QWidget;
class TMainForm;

namespace zelvar {

// The dialogs of "Export Coverage...", behind one seam so that tests can
// answer them without a modal loop.
class CoverageDialogs {
public:
    virtual ~CoverageDialogs() = default;
    // The file to write and its format; empty when cancelled (the dialog
    // asks before overwriting).
    virtual QString chooseExportFile(QWidget* parent, CoverageFormat& format) = 0;
    // The text log holds no report with own position: choose saved logs?
    virtual bool offerSavedLogs(QWidget* parent) = 0;
    // Saved text logs to export, in the order chosen; empty when cancelled.
    virtual QStringList chooseSavedLogs(QWidget* parent) = 0;
    virtual void showError(QWidget* parent, const QString& text) = 0;
};

// File > Export Coverage...: the signal reports with own position of the
// text log, as "Save Data As..." would write it at that moment, written as a
// coverage map, the same bytes as zelvar-coverage on that saved log. When
// the log holds none, saved logs can be chosen instead.
class CoverageMapExport : public QObject {
    Q_OBJECT

public:
    // A child of the window.
    explicit CoverageMapExport(TMainForm& form);
    ~CoverageMapExport() override;
    // Not owned; nullptr returns to the platform's dialogs.
    void setDialogs(CoverageDialogs* dialogs);

    void exportChosen();

private:
    CoverageDialogs& dialogs();

    TMainForm& form_;
    std::unique_ptr<CoverageDialogs> ownDialogs_;
    CoverageDialogs* dialogs_ = nullptr;
};

}  // namespace zelvar
