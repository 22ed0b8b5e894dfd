#pragma once

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>

#include "SettingsStore.h"
#include "UserDialogs.h"
#include "ZelvarEditor.h"
#include "ZelvarMain.h"
#include "ZelvarOptions.h"

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
        main = std::make_unique<TMainForm>();
        editor = std::make_unique<TEditorForm>(main->settings());
        options = std::make_unique<TOptionsForm>(main->settings());
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
    // The logs in the Files folder (its journal files aside).
    QStringList savedFiles() const {
        return QDir(filesDir()).entryList({QStringLiteral("*.txt"), QStringLiteral("*.hex")},
                                          QDir::Files, QDir::Name);
    }
    static QByteArray readAll(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static void writeAll(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    ScriptedDialogs dialogs;
    std::unique_ptr<TMainForm> main;
    std::unique_ptr<TEditorForm> editor;
    std::unique_ptr<TOptionsForm> options;

private:
    QTemporaryDir dir_;
    QString previousDir_;
    QString workDir_;
    QString iniPath_;
};
