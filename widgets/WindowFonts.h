#pragma once

#include <QFont>
#include <QStringList>

class QLabel;

namespace zelvar {

// The monospaced 8-point font of the log views and of the address fields of
// the settings dialog: "Courier New" where it is installed, else the
// metric-compatible "Liberation Mono", else the system's fixed font, so that
// the tab-separated columns line up.
QFont LogViewFont();

// The narrow 8-point face the status bar's panels, the GPS strip and the
// fixed-size settings dialog are laid out for; the desktop's wider default
// would cut their texts short. "Tahoma", else the narrower "Liberation Sans", else the
// desktop's face, at 8 points.
QFont StatusBarFont();

// Makes a status panel in that face, framed, `width` wide or as wide as the
// longest of `texts` needs, so that no text it shows is cut.
void SetUpStatusPanel(QLabel& panel, int width, const QStringList& texts);

}  // namespace zelvar
