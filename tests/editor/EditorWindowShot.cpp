// Starts the main window and the editor as the program entry does and opens
// the hex log named on the command line in the editor, with a few passages
// marked red, blue and bold as an operator marks them, for pictures of the
// editor. Settings are those of the environment it is started in.
#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include "RichEditArea.h"
#include "ZelvarEditor.h"
#include "ZelvarMain.h"
#include "ZelvarOptions.h"

namespace {

RichEditArea* textArea(const TEditorForm& editor) {
    return editor.findChild<RichEditArea*>(QStringLiteral("RichEdit"));
}

void mark(TEditorForm& editor, std::size_t line, std::size_t from, std::size_t length,
          zelvar::MarkColor color, bool bold) {
    RichEditArea* area = textArea(editor);
    const std::size_t start = area->content().lineStart(line) + from;
    area->setSelection(start, start + length);
    area->mark([&](zelvar::Marks marks) {
        if (color != zelvar::MarkColor::Black) marks.color = color;
        marks.bold = marks.bold || bold;
        return marks;
    });
}

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
    QObject::connect(&mainForm, &TMainForm::closed, &app, &QApplication::quit,
                     Qt::QueuedConnection);

    mainForm.show();
    QTimer::singleShot(300, &editorForm, [&] {
        if (!editorForm.isVisible()) editorForm.show();
        editorForm.resize(900, 420);
        editorForm.move(180, 300);
        editorForm.openDocument(QString::fromLocal8Bit(argv[1]));
        using zelvar::MarkColor;
        mark(editorForm, 1, 12, 14, MarkColor::Red, false);
        mark(editorForm, 2, 12, 14, MarkColor::Red, true);
        mark(editorForm, 4, 0, 11, MarkColor::Blue, false);
        mark(editorForm, 6, 12, 47, MarkColor::Black, true);
        mark(editorForm, 9, 12, 2, MarkColor::Blue, true);
        editorForm.findChild<QLineEdit*>(QStringLiteral("EditFind"))
            ->setText(QStringLiteral("0B 00"));
        textArea(editorForm)->setSelection(0, 0);
    });
    return QApplication::exec();
}
