// The questions asked when the logs cannot be auto-saved before a Clear or a
// close: the user's data is at stake, so nothing is given up unasked.
#include <QMessageBox>
#include <QPushButton>

#include "UserDialogs.h"

namespace zelvar {

UserDialogs::UnsavedChoice WidgetDialogs::askUnsavedLogs(QWidget* parent, const QString& reason,
                                                         bool closing) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Zelvar"),
                    QStringLiteral("The logs could not be saved.\n\n%1").arg(reason),
                    QMessageBox::NoButton, parent);
    QPushButton* elsewhere =
        box.addButton(QStringLiteral("Save Data As..."), QMessageBox::AcceptRole);
    QPushButton* without = box.addButton(
        closing ? QStringLiteral("Quit Without Saving") : QStringLiteral("Clear Without Saving"),
        QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(elsewhere);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == elsewhere) return UnsavedChoice::SaveElsewhere;
    if (box.clickedButton() == without) return UnsavedChoice::GoOnWithoutSaving;
    return UnsavedChoice::Cancel;
}

bool WidgetDialogs::confirmLoss(QWidget* parent, bool closing) {
    const QString question =
        closing ? QStringLiteral("Quit and lose the logs that were not saved?")
                : QStringLiteral("Clear the logs and lose what was not saved?");
    return QMessageBox::warning(parent, QStringLiteral("Zelvar"), question,
                                QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace zelvar
