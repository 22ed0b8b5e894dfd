#include "LogView.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <algorithm>
#include <climits>
#include <cmath>

#include "LogViewAccessible.h"

namespace zelvar {

namespace {

bool ascii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

QString decode(std::string_view bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Byte column of a line and the UTF-16 index of the text drawn, both ways.
int utf16Index(std::string_view line, std::size_t column) {
    column = std::min(column, line.size());
    if (ascii(line.substr(0, column))) return static_cast<int>(column);
    return static_cast<int>(decode(line.substr(0, column)).size());
}

std::size_t byteColumn(std::string_view line, int index) {
    if (ascii(line)) return std::min(line.size(), static_cast<std::size_t>(std::max(index, 0)));
    return static_cast<std::size_t>(decode(line).left(index).toUtf8().size());
}

}  // namespace

LogView::LogView(const QString& name, QWidget* parent) : LineLayoutArea(parent) {
    setObjectName(name);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    InstallLogViewAccessible();
    updateScrollRange();
}

LogView::~LogView() = default;

QString LogView::lineText(std::size_t index) const {
    return index < store_.lineCount() ? decode(store_.line(index)) : QString();
}

QString LogView::toPlainText() const {
    return QString::fromStdString(store_.text({}, store_.endPos()));
}

void LogView::changed(bool relayout) {
    cursor_ = store_.clamp(cursor_);
    anchor_ = store_.clamp(anchor_);
    refresh(relayout);
}

void LogView::appendLines(std::string_view joined) {
    store_.appendLines(joined);
    changed(false);
    scrollToEnd();
}

void LogView::appendStore(LineStore&& lines) {
    if (lines.empty()) return;
    store_.append(std::move(lines));
    changed(false);
    scrollToEnd();
}

void LogView::removeLastLine() {
    if (!store_.empty()) forgetLayout(store_.lineCount() - 1);
    store_.removeLastLine();
    changed(false);
}

void LogView::clear() {
    store_.clear();
    changed(true);
}

LogBytes LogView::takeSnapshotAndClear() {
    LogBytes bytes = store_.snapshot();
    clear();
    return bytes;
}

void LogView::setReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    viewport()->update();
}

void LogView::scrollToEnd() {
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

std::size_t LogView::visibleLineCount() { return rows().size(); }

void LogView::resizeEvent(QResizeEvent* event) {
    // A view at the end of its log stays there.
    const bool atEnd = verticalScrollBar()->value() == verticalScrollBar()->maximum();
    LineLayoutArea::resizeEvent(event);
    if (atEnd) scrollToEnd();
}

void LogView::focusInEvent(QFocusEvent* event) {
    viewport()->update();
    QAbstractScrollArea::focusInEvent(event);
}

void LogView::focusOutEvent(QFocusEvent* event) {
    viewport()->update();
    QAbstractScrollArea::focusOutEvent(event);
}

std::pair<TextPos, TextPos> LogView::selection() const {
    return std::minmax(cursor_, anchor_);
}

void LogView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
    const QPalette& colours = palette();
    painter.fillRect(viewport()->rect(), colours.brush(group, QPalette::Base));
    painter.setPen(colours.color(group, QPalette::Text));
    const auto [from, to] = selection();
    for (const Row& row : rows()) {
        QList<QTextLayout::FormatRange> selected;
        if (from != to && row.line >= from.line && row.line <= to.line) {
            const std::string_view text = store_.line(row.line);
            const int begin = row.line == from.line ? utf16Index(text, from.column) : 0;
            const int end = row.line == to.line ? utf16Index(text, to.column)
                                                : static_cast<int>(row.layout->text().size()) + 1;
            QTextLayout::FormatRange range;
            range.start = begin;
            range.length = end - begin;
            range.format.setBackground(colours.brush(group, QPalette::Highlight));
            range.format.setForeground(colours.brush(group, QPalette::HighlightedText));
            selected.append(range);
        }
        const QPointF origin(kMargin, row.top);
        row.layout->draw(&painter, origin, selected);
        if (!readOnly_ && hasFocus() && row.line == cursor_.line) {
            row.layout->drawCursor(&painter, origin,
                                   utf16Index(store_.line(row.line), cursor_.column));
        }
    }
}

TextPos LogView::hitTest(const QPoint& point) {
    if (store_.empty()) return {};
    const auto [line, index] = hitLine(point);
    return {line, byteColumn(store_.line(line), index)};
}

void LogView::setCursorPosition(TextPos pos, bool keepAnchor) {
    cursor_ = store_.clamp(pos);
    if (!keepAnchor) anchor_ = cursor_;
    ensureCursorVisible();
    viewport()->update();
}

QString LogView::selectedText() const {
    const auto [from, to] = selection();
    return QString::fromStdString(store_.text(from, to));
}

void LogView::selectAll() {
    anchor_ = {};
    cursor_ = store_.endPos();
    viewport()->update();
}

void LogView::copy() const {
    const auto [from, to] = selection();
    if (from == to) return;
    const std::string bytes = store_.text(from, to);
    CopyUtf8(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

void CopyUtf8(QByteArray bytes) {
    auto* copied = new QMimeData;
    copied->setData(QStringLiteral("text/plain"), bytes);
    QApplication::clipboard()->setMimeData(copied);
}

void LogView::replaceSelection(std::string_view bytes) {
    const auto [from, to] = selection();
    cursor_ = anchor_ = store_.replace(from, to, bytes);
    changed(true);
    ensureCursorVisible();
}

void LogView::insertText(const QString& text) {
    QString lines = text;
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    replaceSelection(lines.toStdString());
}

void LogView::deleteSelection() {
    if (cursor_ != anchor_) replaceSelection({});
}

void LogView::cut() {
    copy();
    deleteSelection();
}

void LogView::paste() {
    const QMimeData* clip = QApplication::clipboard()->mimeData();
    if (clip && clip->hasText()) insertText(clip->text());
}

TextPos LogView::nextPos(TextPos pos, int direction) const {
    if (store_.empty()) return {};
    const std::string_view text = store_.line(pos.line);
    if (direction > 0) {
        if (pos.column >= text.size()) {
            return pos.line + 1 < store_.lineCount() ? TextPos{pos.line + 1, 0} : pos;
        }
        // Over a whole UTF-8 character: its continuation bytes go with it.
        ++pos.column;
        while (pos.column < text.size() && (static_cast<unsigned char>(text[pos.column]) & 0xC0) == 0x80) {
            ++pos.column;
        }
        return pos;
    }
    if (pos.column == 0) {
        return pos.line > 0 ? TextPos{pos.line - 1, store_.line(pos.line - 1).size()} : pos;
    }
    --pos.column;
    while (pos.column > 0 && (static_cast<unsigned char>(text[pos.column]) & 0xC0) == 0x80) {
        --pos.column;
    }
    return pos;
}

bool LogView::moveKey(QKeyEvent* event) {
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const std::size_t count = store_.lineCount();
    // A page keeps one line of the last in view.
    const std::size_t shown = visibleLineCount();
    const std::size_t page = shown > 1 ? shown - 1 : 1;
    TextPos pos = cursor_;
    auto lineKeepingColumn = [this, &pos](std::size_t line) {
        const int index = utf16Index(store_.line(pos.line), pos.column);
        pos = {line, byteColumn(store_.line(line), index)};
    };
    switch (event->key()) {
        case Qt::Key_Left: pos = nextPos(pos, -1); break;
        case Qt::Key_Right: pos = nextPos(pos, 1); break;
        case Qt::Key_Up:
            if (pos.line > 0) lineKeepingColumn(pos.line - 1);
            break;
        case Qt::Key_Down:
            if (pos.line + 1 < count) lineKeepingColumn(pos.line + 1);
            break;
        case Qt::Key_Home:
            pos = event->modifiers() & Qt::ControlModifier ? TextPos{} : TextPos{pos.line, 0};
            break;
        case Qt::Key_End:
            pos = event->modifiers() & Qt::ControlModifier
                      ? store_.endPos()
                      : TextPos{pos.line, count ? store_.line(pos.line).size() : 0};
            break;
        case Qt::Key_PageDown:
        case Qt::Key_PageUp: {
            if (count == 0) return true;
            const bool down = event->key() == Qt::Key_PageDown;
            QScrollBar* bar = verticalScrollBar();
            const int step = static_cast<int>(page);
            bar->setValue(down ? bar->value() + step : bar->value() - step);
            const std::size_t line =
                down ? std::min(count - 1, pos.line + page) : pos.line - std::min(pos.line, page);
            lineKeepingColumn(line);
            cursor_ = pos;
            if (!extend) anchor_ = cursor_;
            viewport()->update();
            return true;
        }
        default: return false;
    }
    if (count == 0) return true;
    setCursorPosition(pos, extend);
    return true;
}

bool LogView::editKey(QKeyEvent* event) {
    if (event->matches(QKeySequence::Paste)) {
        paste();
        return true;
    }
    if (event->matches(QKeySequence::Cut)) {
        cut();
        return true;
    }
    switch (event->key()) {
        case Qt::Key_Backspace:
            if (cursor_ == anchor_) cursor_ = nextPos(cursor_, -1);
            deleteSelection();
            return true;
        case Qt::Key_Delete:
            if (cursor_ == anchor_) cursor_ = nextPos(cursor_, 1);
            deleteSelection();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            replaceSelection("\n");
            return true;
        default: break;
    }
    const QString text = event->text();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const bool command = (modifiers & Qt::ControlModifier) && !(modifiers & Qt::AltModifier);
    if (text.isEmpty() || command) return false;
    if (!text.at(0).isPrint() && text.at(0) != QLatin1Char('\t')) return false;
    insertText(text);
    return true;
}

void LogView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
    } else if (event->matches(QKeySequence::Copy)) {
        copy();
    } else if (!moveKey(event) && (readOnly_ || !editKey(event))) {
        event->ignore();
        return;
    }
    event->accept();
}

void LogView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    setCursorPosition(hitTest(event->position().toPoint()),
                      event->modifiers() & Qt::ShiftModifier);
}

void LogView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    const QPoint point = event->position().toPoint();
    followDrag(point);
    cursor_ = hitTest(point);
    viewport()->update();
}

void LogView::mouseReleaseEvent(QMouseEvent* event) {
    event->setAccepted(event->button() == Qt::LeftButton);
}

void LogView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    // A word: the run of non-blanks under the pointer.
    const TextPos at = hitTest(event->position().toPoint());
    if (store_.empty()) return;
    const std::string_view text = store_.line(at.line);
    std::size_t begin = at.column;
    std::size_t end = at.column;
    while (begin > 0 && text[begin - 1] != ' ' && text[begin - 1] != '\t') --begin;
    while (end < text.size() && text[end] != ' ' && text[end] != '\t') ++end;
    anchor_ = {at.line, begin};
    cursor_ = {at.line, end};
    viewport()->update();
}

bool LogView::focusNextPrevChild(bool next) {
    // Tab is typed into an editable log.
    return readOnly_ && LineLayoutArea::focusNextPrevChild(next);
}

void LogView::contextMenuEvent(QContextMenuEvent* event) {
    // Shown without an event loop of its own: its commands come as any others.
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool selected = cursor_ != anchor_;
    const bool editable = !readOnly_;
    menu->addAction(tr("Cu&t"), this, &LogView::cut)->setEnabled(editable && selected);
    menu->addAction(tr("&Copy"), this, &LogView::copy)->setEnabled(selected);
    menu->addAction(tr("&Paste"), this, &LogView::paste)->setEnabled(editable);
    menu->addAction(tr("Delete"), this, &LogView::deleteSelection)->setEnabled(editable && selected);
    menu->addSeparator();
    menu->addAction(tr("Select All"), this, &LogView::selectAll)->setEnabled(!store_.empty());
    menu->popup(event->globalPos());
}

}  // namespace zelvar
