#include "RichEditArea.h"

#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QUrl>

QStringList DraggedFiles(const QMimeData* mime) {
    QStringList paths;
    if (!mime || !mime->hasUrls()) return paths;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) paths << url.toLocalFile();
    }
    return paths;
}

RichEditArea::RichEditArea(QWidget* parent) : QTextEdit(parent) {
    // The text control's timer blinks the caret, and drawing the caret lays
    // the text out up to it: after Ctrl+A on a long text, up to its end.
    for (QObject* child : children()) {
        if (qstrcmp(child->metaObject()->className(), "QWidgetTextControl") == 0)
            child->installEventFilter(this);
    }
}

bool RichEditArea::eventFilter(QObject* watched, QEvent* event) {
    // A caret in a line not laid out yet is off the screen: it need not blink.
    if (event->type() == QEvent::Timer && textCursor().block().layout()->lineCount() == 0)
        return true;
    return QTextEdit::eventFilter(watched, event);
}

void RichEditArea::withoutLayout(const std::function<void()>& change) {
    QTextDocument* text = document();
    const QSizeF page = text->pageSize();
    const int scrolled = verticalScrollBar()->value();
    // A document without a page size is not laid out; giving it back its
    // size starts the layout over from the first line.
    text->setPageSize(QSizeF(0, 0));
    change();
    text->setPageSize(page);
    verticalScrollBar()->setValue(scrolled);
}

void RichEditArea::selectWholeText() {
    withoutLayout([this] { selectAll(); });
}

void RichEditArea::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        emit escapePressed();
        event->accept();
        return;
    }
    if (event == QKeySequence::SelectAll) {
        selectWholeText();
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
