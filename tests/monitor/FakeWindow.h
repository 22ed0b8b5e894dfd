#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <array>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "../support/SavedLogs.h"
#include "LineStore.h"
#include "MonitorDialogs.h"
#include "MonitorModel.h"
#include "MonitorView.h"

// The window's side as the model sees it: two log views that keep their
// lines (and the blocks they came in), the status panels, the check marks
// as a first start shows them, and a hook that runs as an offline decoding
// starts.
class FakeView : public zelvar::MonitorView {
public:
    using LogPane = zelvar::LogPane;
    using ViewToggle = zelvar::ViewToggle;

    void appendLines(LogPane pane, std::string_view joined) override {
        (pane == LogPane::Text ? textBlocks : hexBlocks).emplace_back(joined);
        log(pane).appendLines(joined);
    }
    void appendStore(LogPane pane, zelvar::LineStore&& lines) override {
        log(pane).append(std::move(lines));
    }
    bool logEmpty(LogPane pane) const override { return log(pane).empty(); }
    zelvar::LogBytes logSnapshot(LogPane pane) const override { return log(pane).snapshot(); }
    zelvar::LogBytes takeLog(LogPane pane) override {
        zelvar::LogBytes bytes = log(pane).snapshot();
        log(pane).clear();
        return bytes;
    }
    void refreshDisplayMode() override {}
    QString statusText(int panel) const override { return panels.at(index(panel)); }
    void setStatusText(int panel, const QString& shown) override {
        panels.at(index(panel)) = shown;
        if (panel == 2) counts.push_back(shown);
    }
    void setStatusHint(int, const QString&) override {}
    void drawStatusNow() override {}
    void setSMeter(int, int) override {}
    void updateSMeterHints() override {}
    QString gpsPortName() const override { return {}; }
    void showGpsLabels(const QString&, const QString&, const QString&, const QString&) override {}
    void setGpsLabelsVisible(bool) override {}
    bool toggled(ViewToggle toggle) const override {
        const auto found = toggles.find(toggle);
        return found != toggles.end() && found->second;
    }
    void setToggled(ViewToggle toggle, bool on) override { toggles[toggle] = on; }
    void setControlEnabled(zelvar::ViewControl, bool) override {}
    void phaseChanged(zelvar::RunPhase phase) override {
        if (phase == zelvar::RunPhase::DecodingStarting && whileDecodingStarts) {
            whileDecodingStarts();
        }
    }

    // A view's lines.
    QStringList lines(LogPane pane) const {
        QStringList all;
        const zelvar::LineStore& store = log(pane);
        for (std::size_t i = 0; i < store.lineCount(); ++i) {
            all << QString::fromStdString(std::string(store.line(i)));
        }
        return all;
    }

    zelvar::LineStore text;
    zelvar::LineStore hex;
    std::vector<std::string> textBlocks;
    std::vector<std::string> hexBlocks;
    std::array<QString, 7> panels;
    std::vector<QString> counts;  // status panel 2, every text it was given
    std::map<ViewToggle, bool> toggles{{ViewToggle::AutoSave, true},
                                       {ViewToggle::HexLog, true},
                                       {ViewToggle::NewFileEvery65535, true}};
    std::function<void()> whileDecodingStarts;

private:
    static std::size_t index(int panel) { return static_cast<std::size_t>(panel - 1); }
    zelvar::LineStore& log(LogPane pane) { return pane == LogPane::Text ? text : hex; }
    const zelvar::LineStore& log(LogPane pane) const { return pane == LogPane::Text ? text : hex; }
};

// The user's answers from lists, and what happened while an error box stood.
class FakeDialogs : public zelvar::MonitorDialogs {
public:
    QString openLogFile() override {
        ++openDialogs;
        return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
    }
    QString saveLogsAs(const QString& proposed) override {
        ++saveDialogs;
        proposedName = proposed;
        return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
    }
    void showError(const QString& text) override {
        errors << text;
        if (whileBoxShown) whileBoxShown();
    }
    zelvar::UnsavedChoice askUnsavedLogs(const QString&, bool) override {
        return zelvar::UnsavedChoice::Cancel;
    }
    bool confirmLoss(bool) override { return false; }

    QStringList openAnswers;
    QStringList saveAnswers;
    int openDialogs = 0;
    int saveDialogs = 0;
    QString proposedName;
    QStringList errors;
    std::function<void()> whileBoxShown;
};

// A model with its fake window; started (its Files folder made) only when
// a test needs the files.
class FakeWindow {
public:
    // The flush timer and the runs' event processing need an application.
    int argc = 1;
    char name[8] = "monitor";
    char* argv[1] = {name};
    QCoreApplication app{argc, argv};
    zelvar::Settings settings;
    FakeView view;
    FakeDialogs dialogs;
    zelvar::MonitorModel model{settings, view, dialogs};
    QTemporaryDir dir;

    // As the window first shown: the auto-saved logs go to filesDir().
    void start() {
        QDir(dir.path()).mkdir(QStringLiteral("Files"));
        model.startUp(filesDir() + QLatin1Char('/'));
    }
    QString filesDir() const { return dir.filePath(QStringLiteral("Files")); }
    QString scratch(const QString& file) const { return dir.filePath(file); }
    QStringList savedFiles() const { return zelvar::test::SavedLogs(filesDir()); }
    static QByteArray readAll(const QString& path) { return zelvar::test::ReadAllOf(path); }
    static bool writeAll(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }
};
