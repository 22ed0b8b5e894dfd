#include "RichEditArea.h"

#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>

QStringList DraggedFiles(const QMimeData* mime) {
    QStringList paths;
    if (!mime || !mime->hasUrls()) return paths;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) paths << url.toLocalFile();
    }
    return paths;
}

RichEditArea::RichEditArea(QWidget* parent) : QTextEdit(parent) {}

void RichEditArea::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        emit escapePressed();
        event->accept();
        return;
    }
    QTextEdit::keyPressEvent(event);
}

// A file dragged onto the text must open it, not insert its name.
void RichEditArea::dragEnterEvent(QDragEnterEvent* event) {
    if (!DraggedFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
        return;
    }
    QTextEdit::dragEnterEvent(event);
}

void RichEditArea::dragMoveEvent(QDragMoveEvent* event) {
    if (!DraggedFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
        return;
    }
    QTextEdit::dragMoveEvent(event);
}

void RichEditArea::dropEvent(QDropEvent* event) {
    const QStringList paths = DraggedFiles(event->mimeData());
    if (!paths.isEmpty()) {
        event->acceptProposedAction();
        emit filesDropped(paths);
        return;
    }
    QTextEdit::dropEvent(event);
}
