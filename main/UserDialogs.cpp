#include "UserDialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace zelvar {

QString WidgetDialogs::openLogFile(QWidget* parent) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // The filters show their names only, which already say the pattern.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters({QStringLiteral("Hex Data *.hex (*.hex)"),
                           QStringLiteral("Text Files *.txt (*.txt)")});
    // A name typed without an extension means a hex log.
    dialog.setDefaultSuffix(QStringLiteral("hex"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

QString WidgetDialogs::saveLogsAs(QWidget* parent, const QString& proposedName) {
    // No default suffix: the chosen name is the base of both files, which get
    // ".txt" and ".hex" added whatever it ends in.
    return QFileDialog::getSaveFileName(parent, QString(), proposedName,
                                        QStringLiteral("Файлы *.txt и *.hex (*.txt *.hex)"),
                                        nullptr, QFileDialog::HideNameFilterDetails);
}

void WidgetDialogs::showError(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, QStringLiteral("Zelvar"), text);
}

}  // namespace zelvar
