#pragma once

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QSettings>
#include <QSplitter>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <functional>
#include <memory>

#include "../support/SavedLogs.h"
#include "LogView.h"
#include "SettingsStore.h"
#include "UserDialogs.h"
#include "ZelvarEditor.h"
#include "ZelvarMain.h"
#include "ZelvarOptions.h"

// A window's control found by its name, as a user finds it on the screen.
template <typename T>
T* control(const QObject& window, const QString& name) {
    T* found = window.findChild<T*>(name);
    if (!found) qFatal("no control %s", qPrintable(name));
    return found;
}
inline QAction* action(const QObject& window, const char* name) {
    return control<QAction>(window, QLatin1String(name));
}
inline QMenu* menu(const QObject& window, const char* name) {
    return control<QMenu>(window, QLatin1String(name));
}
// Memo1 (the text log) or Memo2 (the hex log).
inline zelvar::LogView* logView(const QObject& window, const char* name) {
    return control<zelvar::LogView>(window, QLatin1String(name));
}
inline QLabel* label(const QObject& window, const char* name) {
    return control<QLabel>(window, QLatin1String(name));
}
inline QComboBox* portBox(const QObject& window) {
    return control<QComboBox>(window, QStringLiteral("cbPort"));
}
inline QToolButton* gpsToggle(const QObject& window) {
    return control<QToolButton>(window, QStringLiteral("sbCOMM"));
}
inline QProgressBar* sMeter(const QObject& window, int port) {
    return control<QProgressBar>(window, QStringLiteral("SMetr%1").arg(port));
}

// Answers the main window's dialogs from lists, without a modal loop.
class ScriptedDialogs : public zelvar::UserDialogs {
public:
    QStringList openAnswers;
    QStringList saveAnswers;
    QStringList errors;
    QString proposedName;
    int openDialogs = 0;
    int saveDialogs = 0;
    // Runs while an error is shown, as a user could act while the box stands.
    std::function<void()> onError;
    // Answers when the logs could not be auto-saved before a Clear or close
    // (Cancel when none is left), and to the question before they are lost.
    QList<UnsavedChoice> unsavedAnswers;
    QList<bool> lossAnswers;
    QStringList unsavedReasons;
    std::function<void()> onUnsaved;  // runs while that question stands

    QString openLogFile(QWidget*) override {
        ++openDialogs;
        return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
    }
    QString saveLogsAs(QWidget*, const QString& proposed) override {
        ++saveDialogs;
        proposedName = proposed;
        return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
    }
    void showError(QWidget*, const QString& text) override {
        errors << text;
        if (onError) onError();
    }
    UnsavedChoice askUnsavedLogs(QWidget*, const QString& reason, bool) override {
        unsavedReasons << reason;
        if (onUnsaved) onUnsaved();
        return unsavedAnswers.isEmpty() ? UnsavedChoice::Cancel : unsavedAnswers.takeFirst();
    }
    bool confirmLoss(QWidget*, bool) override {
        return !lossAnswers.isEmpty() && lossAnswers.takeFirst();
    }
};

// The three windows as the program entry makes them, started in a scratch
// working folder with a scratch settings file. Values written into the
// settings file before start() are what the window loads.
class MainHarness {
public:
    MainHarness() : previousDir_(QDir::currentPath()) {
        QDir(dir_.path()).mkdir(QStringLiteral("work"));
        workDir_ = dir_.filePath(QStringLiteral("work"));
        QDir::setCurrent(workDir_);
        iniPath_ = dir_.filePath(QStringLiteral("Zelvar.ini"));
        main = std::make_unique<TMainForm>(settings);
        editor = std::make_unique<TEditorForm>(settings, main->model().busyRuns());
        options = std::make_unique<TOptionsForm>(settings);
        main->attachWindows(editor.get(), options.get());
        main->setSettingsStore(std::make_unique<zelvar::SettingsStore>(iniPath_));
        main->setDialogs(&dialogs);
    }

    ~MainHarness() {
        options.reset();
        editor.reset();
        main.reset();
        QDir::setCurrent(previousDir_);
    }

    // Sets a stored value before start().
    void store(const QString& key, const QString& value) {
        QSettings ini(iniPath_, QSettings::IniFormat);
        ini.setValue(key, value);
    }
    QString stored(const QString& key) const {
        QSettings ini(iniPath_, QSettings::IniFormat);
        return ini.value(key).toString();
    }

    // Shows the main window, which loads the settings. Most tests want the
    // editor closed, so that auto-save is not suspended.
    void start(bool editorOpen = false) {
        if (!editorOpen) store(QStringLiteral("Editor"), QStringLiteral("0"));
        main->show();
        QCoreApplication::processEvents();
    }

    QString workDir() const { return workDir_; }
    QString filesDir() const { return QDir(workDir_).filePath(QStringLiteral("Files")); }
    QString scratch(const QString& name) const { return dir_.filePath(name); }
    QStringList savedFiles() const { return zelvar::test::SavedLogs(filesDir()); }
    static QByteArray readAll(const QString& path) { return zelvar::test::ReadAllOf(path); }
    static void writeAll(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    ScriptedDialogs dialogs;
    zelvar::Settings settings;  // the program's, shared by the three windows
    std::unique_ptr<TMainForm> main;
    std::unique_ptr<TEditorForm> editor;
    std::unique_ptr<TOptionsForm> options;

private:
    QTemporaryDir dir_;
    QString previousDir_;
    QString workDir_;
    QString iniPath_;
};
