#include "ZelvarProgram.h"

#include <QApplication>
#include <QIcon>
#include <memory>

#include "DryRunClock.h"
#include "GpsStripWindow.h"
#include "LinuxSystemClock.h"
#include "ModalDismissal.h"
#include "MonitoringSession.h"
#include "TerminationSignals.h"
#include "ZelvarEditor.h"
#include "ZelvarMain.h"
#include "ZelvarOptions.h"

namespace zelvar {

int RunZelvar(const std::function<void(TMainForm&, TEditorForm&)>& started) {
    // The name, not the display name: Qt would append a display name to
    // every window caption. The task bar takes the name and icon from the
    // desktop file.
    QApplication::setApplicationName(QStringLiteral("Zelvar"));
    QApplication::setOrganizationName(QStringLiteral("Kavren"));
    QGuiApplication::setDesktopFileName(QStringLiteral("zelvar"));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("zelvar"), QIcon(QStringLiteral(":/icons/zelvar.png"))));

    Settings settings;  // the program's, shared by the three windows
    TMainForm mainForm(settings);
    TEditorForm editorForm(settings, mainForm.model().busyRuns());
    TOptionsForm optionsForm(settings);
    mainForm.attachWindows(&editorForm, &optionsForm);
    MonitoringSession session(mainForm.model().sessionParts());
    mainForm.model().setMonitoringControl(&session);
    mainForm.setSerialPortLister(SystemSerialPortNames);
    // The one place the computer's clock is ever set from; the demo shows
    // what it would set instead.
    std::unique_ptr<SystemClock> clock;
    if (qEnvironmentVariableIsSet("ZELVAR_DEMO_CLOCK")) {
        clock = std::make_unique<DryRunClock>();
    } else {
        clock = std::make_unique<LinuxSystemClock>();
    }
    GpsStripWindow gpsStrip(mainForm.model().gpsStripParts(), &optionsForm, *clock);
    QObject::connect(&mainForm, &TMainForm::closed, qApp, &QApplication::quit,
                     Qt::QueuedConnection);
    // A log-out, a shutdown or `kill` closes the window as its close box
    // does, but with nobody to answer: no box stands in its way, none asks
    // anything. The program then ends with status 0 like any close.
    ModalDismissal dismissal;
    TerminationSignals termination([&mainForm, &dismissal] {
        dismissal.start();
        mainForm.closeUnattended();
    });

    mainForm.show();
    if (started) started(mainForm, editorForm);
    return QApplication::exec();
}

}  // namespace zelvar
