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

// The space around the text, as a plain text edit leaves it.
constexpr int kMargin = 4;
// Tab stops every eight characters, where the columns of the logs expect them.
constexpr int kTabColumns = 8;

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

LogView::LogView(const QString& name, QWidget* parent) : QAbstractScrollArea(parent) {
    setObjectName(name);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    verticalScrollBar()->setSingleStep(1);
    option_.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
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

void LogView::changed() {
    cursor_ = store_.clamp(cursor_);
    anchor_ = store_.clamp(anchor_);
    rowsValid_ = false;
    updateScrollRange();
    viewport()->update();
}

void LogView::appendLines(std::string_view joined) {
    store_.appendLines(joined);
    changed();
    scrollToEnd();
}

void LogView::removeLastLine() {
    if (!store_.empty()) layouts_.erase(store_.lineCount() - 1);
    store_.removeLastLine();
    changed();
}

void LogView::clear() {
    store_.clear();
    forgetLayouts();
    changed();
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

std::size_t LogView::firstVisibleLine() const {
    return static_cast<std::size_t>(std::max(verticalScrollBar()->value(), 0));
}

void LogView::scrollToEnd() {
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

int LogView::textWidth() const {
    return std::max(1, viewport()->width() - 2 * kMargin);
}

std::shared_ptr<QTextLayout> LogView::layoutLine(std::size_t line) {
    // Enough for a few screens; emptied rather than sorted out when full.
    constexpr std::size_t kKeptLayouts = 1024;
    if (layoutWidth_ != textWidth() || layouts_.size() >= kKeptLayouts) {
        layouts_.clear();
        layoutWidth_ = textWidth();
    }
    if (const auto kept = layouts_.find(line); kept != layouts_.end()) return kept->second;
    auto layout = std::make_shared<QTextLayout>(lineText(line), font());
    layout->setCacheEnabled(true);
    layout->setTextOption(option_);
    layout->beginLayout();
    qreal y = 0;
    const qreal width = textWidth();
    while (true) {
        QTextLine row = layout->createLine();
        if (!row.isValid()) break;
        row.setLineWidth(width);
        row.setPosition(QPointF(0, y));
        y += row.height();
    }
    layout->endLayout();
    layouts_.emplace(line, layout);
    return layout;
}

const std::vector<LogView::Row>& LogView::rows() {
    if (rowsValid_) return rows_;
    rows_.clear();
    int top = kMargin;
    const int bottom = viewport()->height();
    for (std::size_t line = firstVisibleLine(); line < store_.lineCount() && top < bottom; ++line) {
        auto layout = layoutLine(line);
        const int height = static_cast<int>(std::ceil(layout->boundingRect().height()));
        rows_.push_back({line, top, height, std::move(layout)});
        top += height;
    }
    rowsValid_ = true;
    return rows_;
}

std::size_t LogView::visibleLineCount() { return rows().size(); }

void LogView::updateScrollRange() {
    // The last page is full: the range ends where the last lines just fill
    // the view.
    const std::size_t count = store_.lineCount();
    std::size_t first = count;
    int room = viewport()->height() - 2 * kMargin;
    while (first > 0) {
        const auto layout = layoutLine(first - 1);
        room -= static_cast<int>(std::ceil(layout->boundingRect().height()));
        if (room < 0 && first < count) break;
        --first;
    }
    QScrollBar* bar = verticalScrollBar();
    const int lineHeight = std::max(1, QFontMetrics(font()).lineSpacing());
    bar->setPageStep(std::max(1, viewport()->height() / lineHeight - 1));
    bar->setRange(0, static_cast<int>(std::min<std::size_t>(first, INT_MAX)));
}

void LogView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    const bool atEnd = verticalScrollBar()->value() == verticalScrollBar()->maximum();
    rowsValid_ = false;
    updateScrollRange();
    if (atEnd) scrollToEnd();
}

void LogView::scrollContentsBy(int, int) {
    rowsValid_ = false;
    viewport()->update();
}

void LogView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        forgetLayouts();
        option_.setTabStopDistance(QFontMetricsF(font()).horizontalAdvance(QLatin1Char(' ')) *
                                   kTabColumns);
        changed();
    }
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::PaletteChange) {
        viewport()->update();
    }
    QAbstractScrollArea::changeEvent(event);
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
    const std::vector<Row>& shown = rows();
    if (shown.empty()) return {};
    if (point.y() < shown.front().top) return {shown.front().line, 0};
    for (const Row& row : shown) {
        if (point.y() >= row.top + row.height) continue;
        const QPointF inside(point.x() - kMargin, point.y() - row.top);
        for (int i = 0; i < row.layout->lineCount(); ++i) {
            const QTextLine visual = row.layout->lineAt(i);
            if (inside.y() < visual.y() + visual.height() || i + 1 == row.layout->lineCount()) {
                const int index = visual.xToCursor(inside.x());
                return {row.line, byteColumn(store_.line(row.line), index)};
            }
        }
    }
    const std::size_t last = shown.back().line;
    return {last, store_.line(last).size()};
}

void LogView::setCursorPosition(TextPos pos, bool keepAnchor) {
    cursor_ = store_.clamp(pos);
    if (!keepAnchor) anchor_ = cursor_;
    ensureCursorVisible();
    viewport()->update();
}

void LogView::ensureCursorVisible() {
    QScrollBar* bar = verticalScrollBar();
    if (cursor_.line < firstVisibleLine()) {
        bar->setValue(static_cast<int>(cursor_.line));
        return;
    }
    // Below the last whole line: the cursor's line becomes the last one shown.
    const std::vector<Row>& shown = rows();
    const int bottom = viewport()->height();
    for (const Row& row : shown) {
        if (row.line == cursor_.line && row.top + row.height <= bottom) return;
    }
    std::size_t first = cursor_.line;
    int room = bottom - 2 * kMargin;
    while (first > 0) {
        room -= static_cast<int>(std::ceil(layoutLine(first)->boundingRect().height()));
        if (room < 0) break;
        --first;
    }
    if (room < 0 && first < cursor_.line) ++first;
    bar->setValue(static_cast<int>(first));
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
    QApplication::clipboard()->setText(selectedText());
}

void LogView::replaceSelection(std::string_view bytes) {
    const auto [from, to] = selection();
    cursor_ = anchor_ = store_.replace(from, to, bytes);
    forgetLayouts();
    changed();
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
    // Dragged past an edge: the view follows a line at a time.
    QScrollBar* bar = verticalScrollBar();
    if (point.y() < 0) bar->setValue(bar->value() - 1);
    if (point.y() > viewport()->height()) bar->setValue(bar->value() + 1);
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
    return readOnly_ && QAbstractScrollArea::focusNextPrevChild(next);
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
