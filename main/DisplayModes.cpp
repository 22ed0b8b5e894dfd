// The display modes: which header line stands at the end of the text log,
// and the package-type summary in status panel 5.
#include <QAction>

#include "LogView.h"
#include "MainRules.h"
#include "ZelvarMain.h"

void TMainForm::RefreshTypeSummary() {
    setStatusText(5, QString::fromStdString(zelvar::TypeSummaryText(
                         settings_.typeFlags, model_.mirrors().OnlyRSSI, model_.gps().Connected,
                         model_.monitoring())));
}

void TMainForm::RefreshDisplayMode() {
    model_.setOnlyRssi(mnuOnlyRSSI->isChecked());
    RefreshTypeSummary();

    flushLogViews();
    const std::string last = lastTextLine(0).toStdString();
    const std::string before = lastTextLine(1).toStdString();
    const zelvar::HeaderEdit edit =
        zelvar::DecideHeaderEdit(last, before, mnuStartUDP->isChecked(),
                                 zelvar::ModeHeader(model_.mirrors().OnlyRSSI, model_.gps().Connected));
    if (edit.removeLast) removeLastTextLine();
    if (!edit.append.empty()) {
        appendToView(Memo1, edit.append);
    }
}
