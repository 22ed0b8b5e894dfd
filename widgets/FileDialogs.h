#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace zelvar {

// The platform's dialog for opening one existing file, its filters shown by
// name alone (each name says its pattern); a name typed without an extension
// gets `defaultSuffix` when there is one. Empty when cancelled.
QString ChooseFileToOpen(QWidget* parent, const QStringList& filters,
                         const QString& defaultSuffix = QString());

// The program's error box, with the system's or the program's text.
void ShowErrorBox(QWidget* parent, const QString& text);

}  // namespace zelvar
