// The program as it runs, with three live packages in its views, which opens
// the modal box of one command when the test asks: its window ("main" or
// "editor") and the command's object name are the arguments, then any
// fields of that window to fill first as name=text. Says "ready"
// on stdout once the window is up, takes any line on stdin as the click, and
// says "modal <class>" once the box stands.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>

#include "ZelvarEditor.h"
#include "ZelvarMain.h"
#include "ZelvarProgram.h"

namespace {

void say(const char* line, const char* detail = "") {
    std::printf("%s%s\n", line, detail);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 3) return 2;
    return zelvar::RunZelvar([&args](TMainForm& main, TEditorForm& editor) {
        main.model().liveDataReceived();
        zelvar::PackageDecoder& decoder = main.model().sessionParts().decoder;
        const std::array<std::uint8_t, 5> unknownType{0, 0, 0, 0, 0x77};
        for (int port = 1; port <= 3; ++port)
            decoder.DecodePackage(unknownType, "F4BEE070", zelvar::DecodeMode::Live, port);

        QObject* window =
            args[1] == QLatin1String("editor") ? static_cast<QObject*>(&editor) : &main;
        // Opening a file that is not there fails with a box: after the
        // dialog, so with no action of its own.
        auto* openMissing = new QAction(&editor);
        openMissing->setObjectName(QStringLiteral("openMissing"));
        QObject::connect(openMissing, &QAction::triggered, &editor,
                         [&editor] { editor.openDocument(QStringLiteral("missing.hex")); });
        QAction* command = window->findChild<QAction*>(args[2]);
        if (!command) {
            say("no command ", qPrintable(args[2]));
            return;
        }
        for (const QString& field : args.mid(3)) {
            const QStringList nameAndText = field.split(QLatin1Char('='));
            if (auto* edit = window->findChild<QLineEdit*>(nameAndText.value(0)))
                edit->setText(nameAndText.value(1));
        }
        auto* click = new QSocketNotifier(0, QSocketNotifier::Read, &main);
        QObject::connect(click, &QSocketNotifier::activated, &main, [click, command] {
            click->setEnabled(false);
            command->trigger();
        });
        auto* watch = new QTimer(&main);
        watch->setInterval(20);
        QObject::connect(watch, &QTimer::timeout, &main, [watch] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                watch->stop();
                say("modal ", box->metaObject()->className());
            }
        });
        watch->start();
        say("ready");
    });
}
