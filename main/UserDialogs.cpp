#include "UserDialogs.h"

#include <QFileDialog>

#include "FileDialogs.h"

namespace zelvar {

QString WidgetDialogs::openLogFile(QWidget* parent) {
    // A name typed without an extension means a hex log.
    return ChooseFileToOpen(parent,
                            {QStringLiteral("Hex Data *.hex (*.hex)"),
                             QStringLiteral("Text Files *.txt (*.txt)")},
                            QStringLiteral("hex"));
}

QString WidgetDialogs::saveLogsAs(QWidget* parent, const QString& proposedName) {
    // No default suffix: the chosen name is the base of both files, which get
    // ".txt" and ".hex" added whatever it ends in.
    return QFileDialog::getSaveFileName(parent, QString(), proposedName,
                                        QStringLiteral("Файлы *.txt и *.hex (*.txt *.hex)"),
                                        nullptr, QFileDialog::HideNameFilterDetails);
}

void WidgetDialogs::showError(QWidget* parent, const QString& text) {
    ShowErrorBox(parent, text);
}

UserDialogs& WindowDialogs::dialogs() {
    if (chosen_) return *chosen_;
    if (!own_) own_ = std::make_unique<WidgetDialogs>();
    return *own_;
}

}  // namespace zelvar
