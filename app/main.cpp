// Zelvar: the main window, the editor window and the settings dialog, created
// in this order, and the event loop until the main window has closed.
#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <memory>

#include "DisplayCheck.h"
#include "DryRunClock.h"
#include "GpsStripWindow.h"
#include "LinuxSystemClock.h"
#include "MonitoringSession.h"
#include "TerminationSignals.h"
#include "ZelvarEditor.h"
#include "ZelvarMain.h"
#include "ZelvarOptions.h"

int main(int argc, char* argv[]) {
    if (const std::string missing = zelvar::MissingDisplay(argc, argv); !missing.empty()) {
        std::fprintf(stderr, "%s\n", missing.c_str());
        return 1;
    }
    QApplication app(argc, argv);
    // The name, not the display name: Qt would append a display name to
    // every window caption. The task bar takes the name and icon from the
    // desktop file.
    QApplication::setApplicationName(QStringLiteral("Zelvar"));
    QApplication::setOrganizationName(QStringLiteral("Kavren"));
    QGuiApplication::setDesktopFileName(QStringLiteral("zelvar"));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("zelvar"), QIcon(QStringLiteral(":/icons/zelvar.png"))));

    zelvar::Settings settings;  // the program's, shared by the three windows
    TMainForm mainForm(settings);
    TEditorForm editorForm(settings);
    TOptionsForm optionsForm(settings);
    mainForm.attachWindows(&editorForm, &optionsForm);
    zelvar::MonitoringSession session(mainForm);
    mainForm.setMonitoringControl(&session);
    mainForm.setSerialPortLister(zelvar::SystemSerialPortNames);
    // The one place the computer's clock is ever set from; the demo shows
    // what it would set instead.
    std::unique_ptr<zelvar::SystemClock> clock;
    if (qEnvironmentVariableIsSet("ZELVAR_DEMO_CLOCK")) {
        clock = std::make_unique<zelvar::DryRunClock>();
    } else {
        clock = std::make_unique<zelvar::LinuxSystemClock>();
    }
    zelvar::GpsStripWindow gpsStrip(mainForm, &optionsForm, *clock);
    QObject::connect(&mainForm, &TMainForm::closed, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    // A log-out, a shutdown or `kill` closes the window as its close box
    // does; the program then ends with status 0 like any close.
    zelvar::TerminationSignals termination([&mainForm] { mainForm.close(); });

    mainForm.show();
    return QApplication::exec();
}
