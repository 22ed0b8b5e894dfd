#include "RichEditArea.h"

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <QUrl>
#include <algorithm>
#include <utility>

using zelvar::MarkColor;
using zelvar::Marks;

namespace {

QString qtext(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string utf16(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

// Pasted and dropped text has its line ends as the document keeps them.
std::u16string documentLines(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return utf16(text);
}

bool wordCharacter(char16_t unit) {
    const QChar c(unit);
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

}  // namespace

QStringList DraggedFiles(const QMimeData* mime) {
    QStringList paths;
    if (!mime || !mime->hasUrls()) return paths;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) paths << url.toLocalFile();
    }
    return paths;
}

RichEditArea::RichEditArea(QWidget* parent) : LineLayoutArea(parent) {
    setAttribute(Qt::WA_InputMethodEnabled);
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
    caret_ = anchor_ = 0;
    typing_.reset();
    verticalScrollBar()->setValue(0);
    showChange(false);
}

void RichEditArea::setReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    restartBlink();
}

void RichEditArea::setLoading(bool loading) {
    loading_ = loading;
    setReadOnly(loading);
    if (loading) return;
    std::vector<std::unique_ptr<QKeyEvent>> keys = std::move(waitingKeys_);
    waitingKeys_.clear();
    for (const auto& key : keys) keyPressEvent(key.get());
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

QString RichEditArea::lineText(std::size_t line) const {
    return qtext(text_.line(line));
}

QList<QTextLayout::FormatRange> RichEditArea::lineFormats(std::size_t line) const {
    const std::size_t start = text_.lineStart(line);
    QList<QTextLayout::FormatRange> marks;
    for (const zelvar::MarkSpan& span : text_.spansIn(start, text_.lineEnd(line))) {
        QTextLayout::FormatRange range;
        range.start = static_cast<int>(span.begin - start);
        range.length = static_cast<int>(span.end - span.begin);
        if (span.marks.color == MarkColor::Red) range.format.setForeground(QColor(255, 0, 0));
        if (span.marks.color == MarkColor::Blue) range.format.setForeground(QColor(0, 0, 255));
        if (span.marks.bold) range.format.setFontWeight(QFont::Bold);
        marks.append(range);
    }
    return marks;
}

void RichEditArea::showChange(bool followCaret, std::optional<std::size_t> onlyLine) {
    if (onlyLine) {
        forgetLayout(*onlyLine);
        refresh(false);
    } else {
        refresh(true);
    }
    if (followCaret) ensureCaretVisible();
    restartBlink();
    emit selectionChanged();
}

void RichEditArea::moveCaret(std::size_t position, bool keepAnchor) {
    caret_ = std::min(position, text_.size());
    if (!keepAnchor) anchor_ = caret_;
    typing_.reset();
    ensureCaretVisible();
    restartBlink();
    viewport()->update();
    emit selectionChanged();
}

void RichEditArea::setSelection(std::size_t anchor, std::size_t position) {
    anchor_ = std::min(anchor, text_.size());
    moveCaret(position, true);
}

void RichEditArea::selectWholeText() {
    anchor_ = 0;
    caret_ = text_.size();
    typing_.reset();
    viewport()->update();
    emit selectionChanged();
}

Marks RichEditArea::typingMarks() const {
    if (typing_) return *typing_;
    // As a rich-text cursor takes them: from the character before the caret,
    // or at the start of a line with text, from its first character.
    const std::size_t line = text_.lineOf(caret_);
    if (caret_ == text_.lineStart(line) && text_.lineEnd(line) > caret_)
        return text_.marksAt(caret_);
    return caret_ > 0 ? text_.marksAt(caret_ - 1) : Marks{};
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
    caret_ = anchor_ = 0;
    typing_.reset();
    showChange(false);
}

void RichEditArea::replaceSelection(const std::u16string& with, bool typing) {
    const std::size_t from = selectionStart();
    const std::size_t lines = text_.lineCount();
    text_.replace(from, selectionEnd(), with, typingMarks(), typing);
    caret_ = anchor_ = from + with.size();
    typing_.reset();
    // No line break put in and as many lines: the change kept to one line,
    // and the others keep their layouts (a long line on the screen costs
    // its layout once, not at every key).
    const bool oneLine = text_.lineCount() == lines && with.find(u'\n') == std::u16string::npos;
    showChange(true, oneLine ? std::optional(text_.lineOf(from)) : std::nullopt);
}

void RichEditArea::insertText(const QString& text) {
    replaceSelection(documentLines(text), false);
}

void RichEditArea::deleteSelection() {
    if (hasSelection()) replaceSelection({}, false);
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
    caret_ = anchor_ = change->from + change->length;
    typing_.reset();
    showChange(true);
}

void RichEditArea::copy() const {
    if (!hasSelection()) return;
    // Held as UTF-8, half what the same text takes as a QString (all of a
    // day's log may stay in the clipboard); a paste reads it as text.
    const std::string_view selected = text_.utf8Slice(selectionStart(), selectionEnd());
    auto* copied = new QMimeData;
    copied->setData(QStringLiteral("text/plain"),
                    QByteArray(selected.data(), static_cast<qsizetype>(selected.size())));
    QApplication::clipboard()->setMimeData(copied);
}

void RichEditArea::cut() {
    if (readOnly_) return;
    copy();
    deleteSelection();
}

void RichEditArea::paste() {
    if (readOnly_) return;
    const QMimeData* clip = QApplication::clipboard()->mimeData();
    if (clip && clip->hasText()) insertText(clip->text());
}

void RichEditArea::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
    const QPalette& colours = palette();
    painter.fillRect(viewport()->rect(), colours.brush(group, QPalette::Base));
    painter.setPen(colours.color(group, QPalette::Text));
    const std::size_t from = selectionStart();
    const std::size_t to = selectionEnd();
    const bool caretDrawn = !readOnly_ && hasFocus() && caretShown_;
    for (const Row& row : rows()) {
        const std::size_t start = text_.lineStart(row.line);
        const std::size_t end = text_.lineEnd(row.line);
        QList<QTextLayout::FormatRange> selected;
        if (from != to && from <= end && to > start) {
            QTextLayout::FormatRange range;
            range.start = static_cast<int>(std::max(from, start) - start);
            // A selected line break shows as a selected blank after the text.
            range.length = static_cast<int>(std::min(to, end + 1) - start) - range.start;
            range.format.setBackground(colours.brush(group, QPalette::Highlight));
            range.format.setForeground(colours.brush(group, QPalette::HighlightedText));
            selected.append(range);
            // Coloured text keeps its colour on the selection's background.
            for (const zelvar::MarkSpan& span :
                 text_.spansIn(std::max(from, start), std::min(to, end))) {
                if (span.marks.color == MarkColor::Black) continue;
                QTextLayout::FormatRange coloured;
                coloured.start = static_cast<int>(span.begin - start);
                coloured.length = static_cast<int>(span.end - span.begin);
                coloured.format.setBackground(colours.brush(group, QPalette::Highlight));
                selected.append(coloured);
            }
        }
        const QPointF origin(kMargin, row.top);
        row.layout->draw(&painter, origin, selected);
        if (caretDrawn && caret_ >= start && caret_ <= end) {
            row.layout->drawCursor(&painter, origin, static_cast<int>(caret_ - start));
        }
    }
}

void RichEditArea::focusInEvent(QFocusEvent* event) {
    restartBlink();
    viewport()->update();
    LineLayoutArea::focusInEvent(event);
}

void RichEditArea::focusOutEvent(QFocusEvent* event) {
    blink_.stop();
    viewport()->update();
    LineLayoutArea::focusOutEvent(event);
}

void RichEditArea::restartBlink() {
    caretShown_ = true;
    const int flash = QApplication::cursorFlashTime();
    if (hasFocus() && !readOnly_ && flash > 0) {
        blink_.start(flash / 2, this);
    } else {
        blink_.stop();
    }
}

void RichEditArea::timerEvent(QTimerEvent* event) {
    if (event->timerId() != blink_.timerId()) {
        LineLayoutArea::timerEvent(event);
        return;
    }
    caretShown_ = !caretShown_;
    viewport()->update();
}

bool RichEditArea::focusNextPrevChild(bool) {
    // Tab is typed into the text.
    return false;
}

std::size_t RichEditArea::hitTest(const QPoint& point) {
    const auto [line, index] = hitLine(point);
    return text_.lineStart(line) + static_cast<std::size_t>(index);
}

std::size_t RichEditArea::rowStep(int direction) {
    std::size_t line = text_.lineOf(caret_);
    auto layout = layoutLine(line);
    const int index = static_cast<int>(caret_ - text_.lineStart(line));
    const QTextLine visual = layout->lineForTextPosition(index);
    if (!visual.isValid()) return caret_;
    const qreal x = visual.cursorToX(index);
    int row = visual.lineNumber() + direction;
    if (row < 0) {
        if (line == 0) return caret_;
        layout = layoutLine(--line);
        row = layout->lineCount() - 1;
    } else if (row >= layout->lineCount()) {
        if (line + 1 >= text_.lineCount()) return caret_;
        layout = layoutLine(++line);
        row = 0;
    }
    const QTextLine target = layout->lineAt(row);
    return text_.lineStart(line) + static_cast<std::size_t>(std::max(0, target.xToCursor(x)));
}

std::size_t RichEditArea::wordStep(std::size_t from, int direction) const {
    std::size_t at = from;
    const std::size_t size = text_.size();
    if (direction > 0) {
        while (at < size && wordCharacter(text_.at(at))) ++at;
        while (at < size && !wordCharacter(text_.at(at))) ++at;
    } else {
        while (at > 0 && !wordCharacter(text_.at(at - 1))) --at;
        while (at > 0 && wordCharacter(text_.at(at - 1))) --at;
    }
    return at;
}

bool RichEditArea::moveKey(QKeyEvent* event) {
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const bool control = event->modifiers() & Qt::ControlModifier;
    const std::size_t line = text_.lineOf(caret_);
    std::size_t to = caret_;
    switch (event->key()) {
        case Qt::Key_Left:
            if (!extend && hasSelection() && !control) {
                to = selectionStart();
            } else {
                to = control ? wordStep(caret_, -1) : (caret_ > 0 ? caret_ - 1 : 0);
            }
            break;
        case Qt::Key_Right:
            if (!extend && hasSelection() && !control) {
                to = selectionEnd();
            } else {
                to = control ? wordStep(caret_, 1) : std::min(caret_ + 1, text_.size());
            }
            break;
        case Qt::Key_Up: to = rowStep(-1); break;
        case Qt::Key_Down: to = rowStep(1); break;
        case Qt::Key_Home: to = control ? 0 : text_.lineStart(line); break;
        case Qt::Key_End: to = control ? text_.size() : text_.lineEnd(line); break;
        case Qt::Key_PageUp:
        case Qt::Key_PageDown: {
            QScrollBar* bar = verticalScrollBar();
            const std::size_t page = std::max<std::size_t>(1, rows().size() > 1 ? rows().size() - 1 : 1);
            const bool down = event->key() == Qt::Key_PageDown;
            const std::size_t target =
                down ? std::min(text_.lineCount() - 1, line + page) : line - std::min(line, page);
            const std::size_t column = caret_ - text_.lineStart(line);
            bar->setValue(down ? bar->value() + static_cast<int>(page)
                               : bar->value() - static_cast<int>(page));
            to = std::min(text_.lineStart(target) + column, text_.lineEnd(target));
            break;
        }
        default: return false;
    }
    moveCaret(to, extend);
    return true;
}

bool RichEditArea::editKey(QKeyEvent* event) {
    using Command = void (RichEditArea::*)();
    static const std::pair<QKeySequence::StandardKey, Command> kCommands[] = {
        {QKeySequence::Undo, &RichEditArea::undo},
        {QKeySequence::Redo, &RichEditArea::redo},
        {QKeySequence::Paste, &RichEditArea::paste},
        {QKeySequence::Cut, &RichEditArea::cut}};
    for (const auto& [key, command] : kCommands) {
        if (event->matches(key)) {
            (this->*command)();
            return true;
        }
    }
    // The context menu's redo key, whatever the platform's is.
    if (event->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_Y)) {
        redo();
        return true;
    }
    const bool control = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
        case Qt::Key_Backspace:
            if (!hasSelection()) anchor_ = control ? wordStep(caret_, -1) : caret_ - std::min<std::size_t>(caret_, 1);
            deleteSelection();
            return true;
        case Qt::Key_Delete:
            if (!hasSelection())
                anchor_ = control ? wordStep(caret_, 1) : std::min(caret_ + 1, text_.size());
            deleteSelection();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter: replaceSelection(u"\n", true); return true;
        default: break;
    }
    const QString typed = event->text();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const bool command = (modifiers & Qt::ControlModifier) && !(modifiers & Qt::AltModifier);
    if (typed.isEmpty() || command) return false;
    if (!typed.at(0).isPrint() && typed.at(0) != QLatin1Char('\t')) return false;
    replaceSelection(utf16(typed), true);
    return true;
}

void RichEditArea::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        emit escapePressed();
    } else if (loading_) {
        keyWhileLoading(event);
    } else if (event->matches(QKeySequence::SelectAll)) {
        selectWholeText();
    } else if (event->matches(QKeySequence::Copy)) {
        copy();
    } else if (!moveKey(event) && (readOnly_ || !editKey(event))) {
        event->ignore();
        return;
    }
    event->accept();
}

void RichEditArea::inputMethodEvent(QInputMethodEvent* event) {
    if (!readOnly_ && !event->commitString().isEmpty()) {
        replaceSelection(utf16(event->commitString()), true);
    }
    event->accept();
}

QVariant RichEditArea::inputMethodQuery(Qt::InputMethodQuery query) const {
    switch (query) {
        case Qt::ImEnabled: return !readOnly_;
        case Qt::ImCursorPosition:
            return static_cast<int>(caret_ - text_.lineStart(text_.lineOf(caret_)));
        case Qt::ImSurroundingText: return qtext(text_.line(text_.lineOf(caret_)));
        default: return LineLayoutArea::inputMethodQuery(query);
    }
}

void RichEditArea::mousePressEvent(QMouseEvent* event) {
    const std::size_t at = hitTest(event->position().toPoint());
    if (event->button() == Qt::LeftButton) {
        moveCaret(at, event->modifiers() & Qt::ShiftModifier);
    } else if (event->button() == Qt::MiddleButton && !readOnly_ &&
               QApplication::clipboard()->supportsSelection()) {
        moveCaret(at, false);
        insertText(QApplication::clipboard()->text(QClipboard::Selection));
    }
}

void RichEditArea::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    const QPoint point = event->position().toPoint();
    followDrag(point);
    caret_ = hitTest(point);
    typing_.reset();
    viewport()->update();
    emit selectionChanged();
}

void RichEditArea::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && hasSelection() &&
        QApplication::clipboard()->supportsSelection()) {
        QApplication::clipboard()->setText(qtext(text_.slice(selectionStart(), selectionEnd())),
                                           QClipboard::Selection);
    }
}

void RichEditArea::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    // A word, or the character under the pointer when it is none.
    const std::size_t at = hitTest(event->position().toPoint());
    const std::size_t size = text_.size();
    std::size_t begin = at;
    std::size_t end = at;
    while (begin > 0 && wordCharacter(text_.at(begin - 1))) --begin;
    while (end < size && wordCharacter(text_.at(end))) ++end;
    if (begin == end && end < size && text_.at(end) != u'\n') ++end;
    setSelection(begin, end);
}

// A file dragged onto the text must open it, not insert its name; text
// goes in where it is dropped.
void RichEditArea::dragEnterEvent(QDragEnterEvent* event) {
    dragMoveEvent(event);
}

void RichEditArea::dragMoveEvent(QDragMoveEvent* event) {
    if (!DraggedFiles(event->mimeData()).isEmpty() ||
        (!readOnly_ && event->mimeData()->hasText())) {
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
    if (readOnly_ || !event->mimeData()->hasText()) return;
    event->acceptProposedAction();
    moveCaret(hitTest(event->position().toPoint()), false);
    insertText(event->mimeData()->text());
}
