// Starts the program's three windows as the program entry does and decodes
// the log named on the command line through File > Decode, for pictures of
// the main window. Settings and the Files folder are those of the
// environment it is started in.
#include <QApplication>
#include <QProgressBar>
#include <QTimer>

#include "UserDialogs.h"
#include "ZelvarEditor.h"
#include "ZelvarMain.h"
#include "ZelvarOptions.h"

namespace {

class FixedFileDialogs : public zelvar::WidgetDialogs {
public:
    explicit FixedFileDialogs(QString path) : path_(std::move(path)) {}
    QString openLogFile(QWidget*) override { return path_; }

private:
    QString path_;
};

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zelvar"));
    if (argc < 2) return 2;

    zelvar::Settings settings;  // the program's, shared by the three windows
    TMainForm mainForm(settings);
    TEditorForm editorForm(settings, mainForm.model().busyRuns());
    TOptionsForm optionsForm(settings);
    mainForm.attachWindows(&editorForm, &optionsForm);
    FixedFileDialogs dialogs(QString::fromLocal8Bit(argv[1]));
    mainForm.setDialogs(&dialogs);
    QObject::connect(&mainForm, &TMainForm::closed, &app, &QApplication::quit,
                     Qt::QueuedConnection);

    mainForm.show();
    QTimer::singleShot(200, &mainForm, [&] {
        mainForm.mnuDecodeClick();
        // A session's status texts, as they stand while monitoring, would need
        // the network; the decoded log alone is what the picture shows.
        mainForm.setSMeter(1, 5);
        mainForm.setSMeter(3, 7);
    });
    return QApplication::exec();
}
