#include "RichEditArea.h"

#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QUrl>
#include <utility>

using zelvar::Marks;

QStringList DraggedFiles(const QMimeData* mime) {
    QStringList paths;
    if (!mime || !mime->hasUrls()) return paths;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) paths << url.toLocalFile();
    }
    return paths;
}

RichEditArea::RichEditArea(QWidget* parent) : TextArea(document_, parent) {
    setAcceptDrops(true);
    updateScrollRange();
}

RichEditArea::~RichEditArea() = default;

void RichEditArea::setContent(zelvar::EditorText text) {
    text_ = std::move(text);
    showNewDocument();
}

void RichEditArea::replaceAll(zelvar::EditorText text, std::string command, bool join) {
    text_.replaceAll(std::move(text), std::move(command), join);
    showNewDocument();
}

void RichEditArea::showNewDocument() {
    setSelectionQuietly({}, {});
    verticalScrollBar()->setValue(0);
    showChange(false);
}

void RichEditArea::setLoading(bool loading) {
    loading_ = loading;
    setReadOnly(loading);
    if (loading) return;
    std::vector<std::unique_ptr<QKeyEvent>> keys = std::move(waitingKeys_);
    waitingKeys_.clear();
    for (const auto& key : keys) keyPressEvent(key.get());
}

bool RichEditArea::ownKey(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        emit escapePressed();
        return true;
    }
    if (loading_) {
        keyWhileLoading(event);
        return true;
    }
    if (isReadOnly()) return false;
    if (event->matches(QKeySequence::Undo)) {
        undo();
        return true;
    }
    // The context menu's redo key as well, whatever the platform's is.
    if (event->matches(QKeySequence::Redo) ||
        event->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_Y)) {
        redo();
        return true;
    }
    return false;
}

void RichEditArea::keyWhileLoading(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            waitingKeys_.push_back(std::unique_ptr<QKeyEvent>(event->clone()));
            return;
        case Qt::Key_Backspace:
        case Qt::Key_Delete:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            emit editingRefused();
            return;
        default:
            break;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        waitingKeys_.push_back(std::unique_ptr<QKeyEvent>(event->clone()));
    } else if (!event->text().isEmpty() || event->matches(QKeySequence::Undo) ||
               event->matches(QKeySequence::Redo) || event->matches(QKeySequence::Paste) ||
               event->matches(QKeySequence::Cut)) {
        emit editingRefused();
    }
}

void RichEditArea::selectionMoved() {
    typing_.reset();
    TextArea::selectionMoved();
}

void RichEditArea::showChange(bool followCaret) {
    documentChanged(true);
    if (followCaret) ensureCaretVisible();
    selectionMoved();
}

Marks RichEditArea::typingMarks() const {
    if (typing_) return *typing_;
    // As a rich-text cursor takes them: from the character before the caret,
    // or at the start of a line with text, from its first character.
    const std::size_t at = position();
    const zelvar::TextPoint point = caret();
    if (point.column == 0 && document_.lineLength(point.line) > 0) return text_.marksAt(at);
    return at > 0 ? text_.marksAt(at - 1) : Marks{};
}

Marks RichEditArea::currentMarks() const {
    // A selection of mixed marks goes by its first character.
    return hasSelection() ? text_.marksAt(selectionStart()) : typingMarks();
}

void RichEditArea::mark(const std::function<Marks(Marks)>& change) {
    if (!hasSelection()) {
        typing_ = change(typingMarks());
        return;
    }
    text_.restyle(selectionStart(), selectionEnd(), change);
    showChange(false);
}

void RichEditArea::unmarkAll() {
    text_.restyle(0, text_.size(), [](Marks) { return Marks{}; });
    verticalScrollBar()->setValue(0);
    setSelectionQuietly({}, {});
    showChange(false);
}

void RichEditArea::undo() {
    showReplayed(text_.undo());
}

void RichEditArea::redo() {
    showReplayed(text_.redo());
}

void RichEditArea::showReplayed(const std::optional<zelvar::EditorText::Change>& change) {
    if (!change) return;
    // The caret goes to the end of what changed back.
    const zelvar::TextPoint end = document_.pointAt(change->from + change->length);
    setSelectionQuietly(end, end);
    showChange(true);
}

// A file dragged onto the text must open it, not insert its name; text
// goes in where it is dropped.
void RichEditArea::dragEnterEvent(QDragEnterEvent* event) {
    dragMoveEvent(event);
}

void RichEditArea::dragMoveEvent(QDragMoveEvent* event) {
    if (!DraggedFiles(event->mimeData()).isEmpty() ||
        (!isReadOnly() && event->mimeData()->hasText())) {
        event->acceptProposedAction();
    }
}

void RichEditArea::dropEvent(QDropEvent* event) {
    const QStringList paths = DraggedFiles(event->mimeData());
    if (!paths.isEmpty()) {
        event->acceptProposedAction();
        emit filesDropped(paths);
        return;
    }
    if (isReadOnly() || !event->mimeData()->hasText()) return;
    event->acceptProposedAction();
    moveCaret(hitTest(event->position().toPoint()));
    insertText(event->mimeData()->text());
}
