#include "WindowFonts.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QStringList>
#include <algorithm>
#include <initializer_list>

namespace zelvar {

namespace {

constexpr int kPointSize = 8;

// The first of the families that is installed. Only installed ones count:
// asking by name would also accept a family that fontconfig merely
// substitutes, with other metrics.
QString installedFamily(std::initializer_list<const char*> families) {
    const QStringList installed = QFontDatabase::families();
    for (const char* family : families) {
        const QString name = QLatin1String(family);
        if (installed.contains(name)) return name;
    }
    return {};
}

}  // namespace

QFont LogViewFont() {
    const QString family = installedFamily({"Courier New", "Liberation Mono"});
    QFont font =
        family.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QFont(family);
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSize(kPointSize);
    return font;
}

QFont StatusBarFont() {
    const QString family = installedFamily({"Tahoma", "Liberation Sans"});
    QFont font =
        family.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::GeneralFont) : QFont(family);
    font.setPointSize(kPointSize);
    return font;
}

void SetUpStatusPanel(QLabel& panel, int width, const QStringList& texts) {
    panel.setFont(StatusBarFont());
    panel.setFrameStyle(QFrame::Panel | QFrame::Sunken);
    const QFontMetrics metrics(panel.font());
    // The frame on both sides and the label's indent of half an "x" before
    // the text, with as much again after it.
    const int around = 2 * panel.frameWidth() + metrics.horizontalAdvance(QLatin1Char('x'));
    for (const QString& text : texts)
        width = std::max(width, metrics.horizontalAdvance(text) + around);
    panel.setFixedWidth(width);
}

}  // namespace zelvar
