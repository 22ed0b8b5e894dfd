#include "EditorDialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace zelvar {

QString EditorWidgetDialogs::openDocument(QWidget* parent) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // The descriptions carry their patterns already.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters({QStringLiteral("Hex Data *.hex (*.hex)"),
                           QStringLiteral("Files *.txt  *.rtf (*.txt *.rtf)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
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
    QMessageBox::critical(parent, QStringLiteral("Zelvar"), text);
}

}  // namespace zelvar
