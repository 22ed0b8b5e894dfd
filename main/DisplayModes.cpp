// The display modes: which header line stands at the end of the text log,
// and the package-type summary in status panel 5.
#include <QAction>

#include "LogView.h"
#include "MainRules.h"
#include "ZelvarMain.h"

void TMainForm::RefreshTypeSummary() {
    setStatusText(5, QString::fromStdString(zelvar::TypeSummaryText(
                         settings_.typeFlags, mirrors_.OnlyRSSI, gps_.Connected, Monitoring)));
}

void TMainForm::RefreshDisplayMode() {
    mirrors_.OnlyRSSI = mnuOnlyRSSI->isChecked();
    RefreshTypeSummary();

    flushLogViews();
    const std::string last = lastTextLine(0).toStdString();
    const std::string before = lastTextLine(1).toStdString();
    const zelvar::HeaderEdit edit =
        zelvar::DecideHeaderEdit(last, before, mnuStartUDP->isChecked(),
                                 zelvar::ModeHeader(mirrors_.OnlyRSSI, gps_.Connected));
    if (edit.removeLast) removeLastTextLine();
    if (!edit.append.empty()) {
        appendToView(Memo1, edit.append);
    }
}
