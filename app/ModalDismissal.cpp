#include "ModalDismissal.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace zelvar {

namespace {

bool waitsForAnAnswer(const QWidget& widget) {
    return widget.isWindow() && (widget.isModal() || widget.windowType() == Qt::Popup);
}

}  // namespace

void ModalDismissal::start() {
    if (started_) return;
    started_ = true;
    qApp->installEventFilter(this);
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && waitsForAnAnswer(*window)) dismissLater(window);
    }
}

bool ModalDismissal::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (waitsForAnAnswer(*widget)) dismissLater(widget);
    }
    return false;
}

// Once the box's own event loop runs: a dialog rejected while it is still
// being shown would leave its exec() waiting for good.
void ModalDismissal::dismissLater(QWidget* window) {
    QTimer::singleShot(0, window, [window] {
        if (!window->isVisible()) return;
        if (auto* dialog = qobject_cast<QDialog*>(window)) {
            dialog->reject();
        } else {
            window->close();
        }
    });
}

}  // namespace zelvar
