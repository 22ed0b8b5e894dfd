// Zelvar: the main window, the editor window and the settings dialog, created
// in this order, and the event loop until the main window has closed.
#include <QApplication>
#include <QIcon>

#include "MonitoringSession.h"
#include "ZelvarEditor.h"
#include "ZelvarMain.h"
#include "ZelvarOptions.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // The name, not the display name: Qt would append a display name to
    // every window caption. The task bar takes the name and icon from the
    // desktop file.
    QApplication::setApplicationName(QStringLiteral("Zelvar"));
    QApplication::setOrganizationName(QStringLiteral("Kavren"));
    QGuiApplication::setDesktopFileName(QStringLiteral("zelvar"));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("zelvar"), QIcon(QStringLiteral(":/icons/zelvar.png"))));

    TMainForm mainForm;
    TEditorForm editorForm(mainForm.settings());
    TOptionsForm optionsForm(mainForm.settings());
    mainForm.attachWindows(&editorForm, &optionsForm);
    zelvar::MonitoringSession session(mainForm);
    mainForm.setMonitoringControl(&session);
    QObject::connect(&mainForm, &TMainForm::closed, &app, &QApplication::quit,
                     Qt::QueuedConnection);

    mainForm.show();
    return QApplication::exec();
}
