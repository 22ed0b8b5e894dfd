#include "TextArea.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>

#include "TextAreaAccessible.h"

namespace zelvar {

namespace {

bool wordCharacter(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// Pasted and inserted text has its line ends as the documents keep them.
QString documentLines(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

}  // namespace

TextArea::TextArea(LineDocument& document, QWidget* parent)
    : LineLayoutArea(parent), document_(document) {
    setAttribute(Qt::WA_InputMethodEnabled);
    InstallTextAreaAccessible();
}

TextArea::~TextArea() = default;

void TextArea::setReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    restartBlink();
    viewport()->update();
}

TextPoint TextArea::clamp(TextPoint point) const {
    point.line = std::min(point.line, document_.lineCount() - 1);
    point.column = std::min(point.column, document_.lineLength(point.line));
    return point;
}

void TextArea::selectionMoved() {
    restartBlink();
    viewport()->update();
    emit selectionChanged();
    // A screen reader follows the caret.
    if (QAccessible::isActive()) {
        QAccessibleTextCursorEvent moved(this, static_cast<int>(document_.offsetOf(caret_)));
        QAccessible::updateAccessibility(&moved);
    }
}

void TextArea::documentChanged(bool relayout) {
    caret_ = clamp(caret_);
    anchor_ = clamp(anchor_);
    refresh(relayout);
}

void TextArea::moveCaret(TextPoint to, bool keepAnchor) {
    caret_ = clamp(to);
    if (!keepAnchor) anchor_ = caret_;
    ensureCaretVisible();
    selectionMoved();
}

void TextArea::select(TextPoint anchor, TextPoint caret) {
    anchor_ = clamp(anchor);
    moveCaret(caret, true);
}

QString TextArea::selectedText() const {
    const auto [from, to] = selectedRange();
    return QString::fromUtf8(document_.utf8(from, to));
}

void TextArea::selectAll() {
    anchor_ = {};
    caret_ = document_.end();
    selectionMoved();
}

void TextArea::copy() const {
    const auto [from, to] = selectedRange();
    if (from != to) CopyUtf8(document_.utf8(from, to));
}

void CopyUtf8(QByteArray bytes) {
    auto* copied = new QMimeData;
    copied->setData(QStringLiteral("text/plain"), bytes);
    QApplication::clipboard()->setMimeData(copied);
}

void TextArea::cut() {
    if (readOnly_) return;
    copy();
    deleteSelection();
}

void TextArea::paste() {
    if (readOnly_) return;
    const QMimeData* clip = QApplication::clipboard()->mimeData();
    if (clip && clip->hasText()) insertText(clip->text());
}

void TextArea::insertText(const QString& text) {
    replaceSelection(documentLines(text), false);
}

void TextArea::deleteSelection() {
    if (hasSelection()) replaceSelection({}, false);
}

void TextArea::replaceSelection(const QString& with, bool typing) {
    const auto [from, to] = selectedRange();
    const std::size_t lines = document_.lineCount();
    caret_ = anchor_ = document_.replace(from, to, with, typing);
    // No line break put in and as many lines: the change kept to one line,
    // and the others keep their layouts (a long line on the screen costs
    // its layout once, not at every key).
    const bool oneLine = document_.lineCount() == lines && !with.contains(QLatin1Char('\n'));
    if (oneLine) forgetLayout(from.line);
    documentChanged(!oneLine);
    ensureCaretVisible();
    selectionMoved();
}

void TextArea::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
    const QPalette& colours = palette();
    painter.fillRect(viewport()->rect(), colours.brush(group, QPalette::Base));
    painter.setPen(colours.color(group, QPalette::Text));
    const auto [from, to] = selectedRange();
    const bool caretDrawn = !readOnly_ && hasFocus() && caretShown_;
    for (const Row& row : rows()) {
        QList<QTextLayout::FormatRange> selected;
        if (from != to && row.line >= from.line && row.line <= to.line) {
            QTextLayout::FormatRange range;
            range.start = row.line == from.line ? static_cast<int>(from.column) : 0;
            // A selected line break shows as a selected blank after the text.
            const int end = row.line == to.line ? static_cast<int>(to.column)
                                                : static_cast<int>(row.layout->text().size()) + 1;
            range.length = end - range.start;
            range.format.setBackground(colours.brush(group, QPalette::Highlight));
            range.format.setForeground(colours.brush(group, QPalette::HighlightedText));
            selected.append(range);
            // Coloured text keeps its colour on the selection's background.
            for (const QTextLayout::FormatRange& format : row.layout->formats()) {
                if (!format.format.hasProperty(QTextFormat::ForegroundBrush)) continue;
                const int begin = std::max(format.start, range.start);
                const int stop = std::min(format.start + format.length, end);
                if (begin >= stop) continue;
                QTextLayout::FormatRange coloured;
                coloured.start = begin;
                coloured.length = stop - begin;
                coloured.format.setBackground(colours.brush(group, QPalette::Highlight));
                selected.append(coloured);
            }
        }
        const QPointF origin(kMargin, row.top);
        row.layout->draw(&painter, origin, selected);
        if (caretDrawn && row.line == caret_.line) {
            row.layout->drawCursor(&painter, origin, static_cast<int>(caret_.column));
        }
    }
}

void TextArea::focusInEvent(QFocusEvent* event) {
    restartBlink();
    viewport()->update();
    LineLayoutArea::focusInEvent(event);
}

void TextArea::focusOutEvent(QFocusEvent* event) {
    blink_.stop();
    viewport()->update();
    LineLayoutArea::focusOutEvent(event);
}

void TextArea::restartBlink() {
    caretShown_ = true;
    const int flash = QApplication::cursorFlashTime();
    if (hasFocus() && !readOnly_ && flash > 0) {
        blink_.start(flash / 2, this);
    } else {
        blink_.stop();
    }
}

void TextArea::timerEvent(QTimerEvent* event) {
    if (event->timerId() != blink_.timerId()) {
        LineLayoutArea::timerEvent(event);
        return;
    }
    caretShown_ = !caretShown_;
    viewport()->update();
}

bool TextArea::focusNextPrevChild(bool next) {
    // Tab is typed into an editable text.
    return readOnly_ && LineLayoutArea::focusNextPrevChild(next);
}

TextPoint TextArea::hitTest(const QPoint& point) {
    const auto [line, index] = hitLine(point);
    return clamp({line, static_cast<std::size_t>(index)});
}

QRect TextArea::characterRect(TextPoint point) {
    for (const Row& row : rows()) {
        if (row.line != point.line) continue;
        const int index = static_cast<int>(point.column);
        const QTextLine visual = row.layout->lineForTextPosition(index);
        if (!visual.isValid()) return {};
        const qreal left = visual.cursorToX(index);
        const qreal right = index < visual.textStart() + visual.textLength()
                                ? visual.cursorToX(index + 1)
                                : left + QFontMetricsF(font()).averageCharWidth();
        return QRectF(kMargin + left, row.top + visual.y(), right - left, visual.height())
            .toAlignedRect();
    }
    return {};
}

TextPoint TextArea::nextPoint(TextPoint from, int direction) const {
    const QString text = document_.lineText(from.line);
    const auto length = static_cast<std::size_t>(text.size());
    // A character outside the basic plane is two units, never split.
    auto pairAt = [&text](std::size_t at) {
        const auto i = static_cast<qsizetype>(at);
        return i + 1 < text.size() && text.at(i).isHighSurrogate() &&
               text.at(i + 1).isLowSurrogate();
    };
    if (direction > 0) {
        if (from.column >= length) {
            return from.line + 1 < document_.lineCount() ? TextPoint{from.line + 1, 0} : from;
        }
        from.column += pairAt(from.column) ? 2U : 1U;
        return from;
    }
    if (from.column == 0) {
        return from.line > 0 ? TextPoint{from.line - 1, document_.lineLength(from.line - 1)} : from;
    }
    from.column -= from.column >= 2 && pairAt(from.column - 2) ? 2U : 1U;
    return from;
}

TextPoint TextArea::wordStep(TextPoint from, int direction) const {
    TextPoint at = from;
    QString text = document_.lineText(at.line);
    // The character next to `at` on the way: a line break is no word's; at
    // either end of the document there is none.
    auto next = [&](QChar& c) {
        const auto column = static_cast<qsizetype>(at.column);
        if (direction > 0 ? column < text.size() : column > 0) {
            c = text.at(direction > 0 ? column : column - 1);
            return true;
        }
        c = QLatin1Char('\n');
        return direction > 0 ? at.line + 1 < document_.lineCount() : at.line > 0;
    };
    // Within the line a unit at a time (the two halves of a pair are alike,
    // neither a word's, so no step stops between them); the line is read
    // again only at a line break, not at every step along a long one.
    auto step = [&] {
        const auto column = static_cast<qsizetype>(at.column);
        if (direction > 0 ? column < text.size() : column > 0) {
            at.column = direction > 0 ? at.column + 1 : at.column - 1;
            return;
        }
        at = nextPoint(at, direction);
        text = document_.lineText(at.line);
    };
    QChar c;
    if (direction > 0) {
        while (next(c) && wordCharacter(c)) step();
        while (next(c) && !wordCharacter(c)) step();
    } else {
        while (next(c) && !wordCharacter(c)) step();
        while (next(c) && wordCharacter(c)) step();
    }
    return at;
}

TextPoint TextArea::rowStep(int direction) {
    std::size_t line = caret_.line;
    auto layout = layoutLine(line);
    const int index = static_cast<int>(caret_.column);
    const QTextLine visual = layout->lineForTextPosition(index);
    if (!visual.isValid()) return caret_;
    const qreal x = visual.cursorToX(index);
    int row = visual.lineNumber() + direction;
    if (row < 0) {
        if (line == 0) return caret_;
        layout = layoutLine(--line);
        row = layout->lineCount() - 1;
    } else if (row >= layout->lineCount()) {
        if (line + 1 >= document_.lineCount()) return caret_;
        layout = layoutLine(++line);
        row = 0;
    }
    return {line, static_cast<std::size_t>(std::max(0, layout->lineAt(row).xToCursor(x)))};
}

bool TextArea::moveKey(QKeyEvent* event) {
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const bool control = event->modifiers() & Qt::ControlModifier;
    const auto [from, to] = selectedRange();
    TextPoint target = caret_;
    switch (event->key()) {
        case Qt::Key_Left:
            if (!extend && !control && hasSelection()) {
                target = from;
            } else {
                target = control ? wordStep(caret_, -1) : nextPoint(caret_, -1);
            }
            break;
        case Qt::Key_Right:
            if (!extend && !control && hasSelection()) {
                target = to;
            } else {
                target = control ? wordStep(caret_, 1) : nextPoint(caret_, 1);
            }
            break;
        case Qt::Key_Up:
            target = rowStep(-1);
            break;
        case Qt::Key_Down:
            target = rowStep(1);
            break;
        case Qt::Key_Home:
            target = control ? TextPoint{} : TextPoint{caret_.line, 0};
            break;
        case Qt::Key_End:
            target = control ? document_.end()
                             : TextPoint{caret_.line, document_.lineLength(caret_.line)};
            break;
        case Qt::Key_PageUp:
        case Qt::Key_PageDown: {
            // A page keeps one line of the last in view.
            const std::size_t shown = rows().size();
            const std::size_t page = shown > 1 ? shown - 1 : 1;
            const bool down = event->key() == Qt::Key_PageDown;
            const std::size_t line = caret_.line;
            target.line = down ? std::min(document_.lineCount() - 1, line + page)
                               : line - std::min(line, page);
            QScrollBar* bar = verticalScrollBar();
            bar->setValue(down ? bar->value() + static_cast<int>(page)
                               : bar->value() - static_cast<int>(page));
            break;
        }
        default:
            return false;
    }
    moveCaret(target, extend);
    return true;
}

bool TextArea::editKey(QKeyEvent* event) {
    if (event->matches(QKeySequence::Paste)) {
        paste();
        return true;
    }
    if (event->matches(QKeySequence::Cut)) {
        cut();
        return true;
    }
    const bool control = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
        case Qt::Key_Backspace:
        case Qt::Key_Delete: {
            const int direction = event->key() == Qt::Key_Delete ? 1 : -1;
            if (!hasSelection())
                anchor_ = control ? wordStep(caret_, direction) : nextPoint(caret_, direction);
            deleteSelection();
            return true;
        }
        case Qt::Key_Return:
        case Qt::Key_Enter:
            replaceSelection(QStringLiteral("\n"), true);
            return true;
        default:
            break;
    }
    const QString typed = event->text();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const bool command = (modifiers & Qt::ControlModifier) && !(modifiers & Qt::AltModifier);
    if (typed.isEmpty() || command) return false;
    if (!typed.at(0).isPrint() && typed.at(0) != QLatin1Char('\t')) return false;
    replaceSelection(typed, true);
    return true;
}

void TextArea::keyPressEvent(QKeyEvent* event) {
    if (ownKey(event)) {
        // Treated by the area built on this one.
    } else if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
    } else if (event->matches(QKeySequence::Copy)) {
        copy();
    } else if (!moveKey(event) && (readOnly_ || !editKey(event))) {
        event->ignore();
        return;
    }
    event->accept();
}

void TextArea::inputMethodEvent(QInputMethodEvent* event) {
    if (!readOnly_ && !event->commitString().isEmpty())
        replaceSelection(event->commitString(), true);
    event->accept();
}

QVariant TextArea::inputMethodQuery(Qt::InputMethodQuery query) const {
    switch (query) {
        case Qt::ImEnabled:
            return !readOnly_;
        case Qt::ImCursorPosition:
            return static_cast<int>(caret_.column);
        case Qt::ImSurroundingText:
            return document_.lineText(caret_.line);
        default:
            return LineLayoutArea::inputMethodQuery(query);
    }
}

void TextArea::mousePressEvent(QMouseEvent* event) {
    const TextPoint at = hitTest(event->position().toPoint());
    if (event->button() == Qt::LeftButton) {
        moveCaret(at, event->modifiers() & Qt::ShiftModifier);
    } else if (event->button() == Qt::MiddleButton && !readOnly_ &&
               QApplication::clipboard()->supportsSelection()) {
        moveCaret(at, false);
        insertText(QApplication::clipboard()->text(QClipboard::Selection));
    }
}

void TextArea::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    const QPoint point = event->position().toPoint();
    followDrag(point);
    caret_ = hitTest(point);
    selectionMoved();
}

void TextArea::mouseReleaseEvent(QMouseEvent* event) {
    const bool left = event->button() == Qt::LeftButton;
    if (left && hasSelection() && QApplication::clipboard()->supportsSelection()) {
        QApplication::clipboard()->setText(selectedText(), QClipboard::Selection);
    }
    event->setAccepted(left);
}

void TextArea::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    // A word, or the character under the pointer when it is none.
    const TextPoint at = hitTest(event->position().toPoint());
    const QString text = document_.lineText(at.line);
    auto begin = static_cast<qsizetype>(at.column);
    auto end = begin;
    while (begin > 0 && wordCharacter(text.at(begin - 1))) --begin;
    while (end < text.size() && wordCharacter(text.at(end))) ++end;
    if (begin == end && end < text.size()) ++end;
    select({at.line, static_cast<std::size_t>(begin)}, {at.line, static_cast<std::size_t>(end)});
}

}  // namespace zelvar
