#include "WindowFonts.h"

#include <QFontDatabase>
#include <QStringList>
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

}  // namespace zelvar
