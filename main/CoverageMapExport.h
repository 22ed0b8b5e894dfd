#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "CoverageFormats.h"
#include "LogBytes.h"

class QWidget;

namespace zelvar {

class BusyRuns;
struct Settings;

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
    // A child of `window`, the dialogs' parent. `textLog` gives the text
    // log's saved bytes as they stand; `settings` the time correction.
    CoverageMapExport(QWidget& window, BusyRuns& runs, const Settings& settings,
                      std::function<LogBytes()> textLog);
    ~CoverageMapExport() override;
    // Not owned; nullptr returns to the platform's dialogs.
    void setDialogs(CoverageDialogs* dialogs);

    void exportChosen();

private:
    CoverageDialogs& dialogs();

    QWidget& window_;
    BusyRuns& runs_;
    const Settings& settings_;
    std::function<LogBytes()> textLog_;
    std::unique_ptr<CoverageDialogs> ownDialogs_;
    CoverageDialogs* dialogs_ = nullptr;
};

}  // namespace zelvar
