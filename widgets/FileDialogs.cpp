#include "FileDialogs.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFileDialog>
#include <QMessageBox>

#include "NameOnlyIconProvider.h"

namespace zelvar {

namespace {

// Every file dialog of the program, the ones Qt's static calls build as well
// as ours, lists folders with the name-only icon provider. It is put in
// before the dialog is first shown: the model reads the kinds of a folder's
// entries on the window's thread when its listing arrives, which is no
// sooner than the dialog's event loop.
class FileDialogGuard : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Polish) {
            if (auto* dialog = qobject_cast<QFileDialog*>(watched)) {
                // Outlives every dialog, even one the application leaves behind.
                static NameOnlyIconProvider provider;
                dialog->setIconProvider(&provider);
            }
        }
        return false;
    }
};

void guardFileDialogs() {
    QCoreApplication::instance()->installEventFilter(
        new FileDialogGuard(QCoreApplication::instance()));
}

}  // namespace

// Runs as each program that shows these dialogs makes its application object.
Q_COREAPP_STARTUP_FUNCTION(guardFileDialogs)

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
