#pragma once

// What the windows share besides their faces: the cream of an editable log
// and the way menu items are made (named for tests and the accessibility
// tree, with their keys).
#include <QAction>
#include <QColor>
#include <QKeySequence>
#include <QMenu>
#include <QString>

namespace zelvar {

// The background of the editor's text, and of the main window's hex view
// while the editor makes it editable.
inline QColor EditableLogCream() {
    return {255, 251, 240};
}

inline QAction* addCommand(QMenu* menu, const char* name, const QString& caption,
                           const QKeySequence& keys = {}) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    action->setShortcut(keys);
    return action;
}

inline QAction* addCheck(QMenu* menu, const char* name, const QString& caption,
                         const QKeySequence& keys = {}) {
    QAction* action = addCommand(menu, name, caption, keys);
    action->setCheckable(true);
    return action;
}

inline QMenu* addSubmenu(QMenu* menu, const char* name, const QString& caption) {
    QMenu* submenu = menu->addMenu(caption);
    submenu->setObjectName(QLatin1String(name));
    return submenu;
}

}  // namespace zelvar
