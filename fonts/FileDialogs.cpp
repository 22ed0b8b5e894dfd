#include "FileDialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace zelvar {

QString ChooseFileToOpen(QWidget* parent, const QStringList& filters,
                         const QString& defaultSuffix) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(filters);
    if (!defaultSuffix.isEmpty()) dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

void ShowErrorBox(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, QStringLiteral("Zelvar"), text);
}

}  // namespace zelvar
