#include "EditorDialogs.h"

#include <QFileDialog>

#include "FileDialogs.h"

namespace zelvar {

QString EditorWidgetDialogs::openDocument(QWidget* parent) {
    return ChooseFileToOpen(parent, {QStringLiteral("Hex Data *.hex (*.hex)"),
                                     QStringLiteral("Files *.txt  *.rtf (*.txt *.rtf)")});
}

QString EditorWidgetDialogs::saveDocumentAs(QWidget* parent, const QString& proposedName) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilter(QStringLiteral("Текст в формате *.rtf (*.rtf)"));
    // The dialog adds the suffix before it asks about overwriting, so the
    // question is about the file that will be written.
    dialog.setDefaultSuffix(QStringLiteral("rtf"));
    dialog.selectFile(proposedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

void EditorWidgetDialogs::showError(QWidget* parent, const QString& text) {
    ShowErrorBox(parent, text);
}

}  // namespace zelvar
