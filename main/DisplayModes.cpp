// The display modes: which header line stands at the end of the text log,
// and the package-type summary in status panel 5.
#include <QAction>

#include "LogView.h"
#include "MonitorRules.h"
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
    if (edit.removeLast) Memo1->removeLastLine();
    if (!edit.append.empty()) Memo1->appendLines(edit.append);
}
