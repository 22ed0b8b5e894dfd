// Starts the main window and the editor as the program entry does and opens
// the hex log named on the command line in the editor, with a few passages
// marked red, blue and bold as an operator marks them, for pictures of the
// editor. Settings are those of the environment it is started in.
#include <QApplication>
#include <QLineEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

#include "RichEditArea.h"
#include "ZelvarEditor.h"
#include "ZelvarMain.h"
#include "ZelvarOptions.h"

namespace {

RichEditArea* textArea(const TEditorForm& editor) {
    return editor.findChild<RichEditArea*>(QStringLiteral("RichEdit"));
}

void mark(TEditorForm& editor, int line, int from, int length, const QColor& color, bool bold) {
    QTextCursor cursor(textArea(editor)->document()->findBlockByNumber(line));
    cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, from);
    cursor.movePosition(QTextCursor::Right, QTextCursor::KeepAnchor, length);
    QTextCharFormat format;
    if (color.isValid()) format.setForeground(color);
    if (bold) format.setFontWeight(QFont::Bold);
    cursor.mergeCharFormat(format);
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zelvar"));
    if (argc < 2) return 2;

    zelvar::Settings settings;  // the program's, shared by the three windows
    TMainForm mainForm(settings);
    TEditorForm editorForm(settings);
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
        mark(editorForm, 1, 12, 14, Qt::red, false);
        mark(editorForm, 2, 12, 14, Qt::red, true);
        mark(editorForm, 4, 0, 11, Qt::blue, false);
        mark(editorForm, 6, 12, 47, {}, true);
        mark(editorForm, 9, 12, 2, Qt::blue, true);
        editorForm.findChild<QLineEdit*>(QStringLiteral("EditFind"))
            ->setText(QStringLiteral("0B 00"));
        QTextCursor caret = textArea(editorForm)->textCursor();
        caret.setPosition(0);
        textArea(editorForm)->setTextCursor(caret);
    });
    return QApplication::exec();
}
