#include "LineLayoutArea.h"

#include <QScrollBar>
#include <algorithm>
#include <climits>
#include <cmath>

namespace zelvar {

LineLayoutArea::LineLayoutArea(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    verticalScrollBar()->setSingleStep(1);
    option_.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setTabStops();
}

void LineLayoutArea::setTabStops() {
    // Every eight characters, where the columns of the logs expect them.
    constexpr int kTabColumns = 8;
    option_.setTabStopDistance(QFontMetricsF(font()).horizontalAdvance(QLatin1Char(' ')) *
                               kTabColumns);
    anywhere_ = option_;
    anywhere_.setWrapMode(QTextOption::WrapAnywhere);
}

LineLayoutArea::~LineLayoutArea() = default;

std::size_t LineLayoutArea::firstVisibleLine() const {
    return static_cast<std::size_t>(std::max(verticalScrollBar()->value(), 0));
}

int LineLayoutArea::textWidth() const {
    return std::max(1, viewport()->width() - 2 * kMargin);
}

std::shared_ptr<QTextLayout> LineLayoutArea::layoutLine(std::size_t line) {
    // Enough for a few screens; emptied rather than sorted out when full.
    constexpr std::size_t kKeptLayouts = 1024;
    if (layoutWidth_ != textWidth() || layouts_.size() >= kKeptLayouts) {
        layouts_.clear();
        layoutWidth_ = textWidth();
    }
    if (const auto kept = layouts_.find(line); kept != layouts_.end()) return kept->second;
    const QString text = lineText(line);
    auto layout = std::make_shared<QTextLayout>(text, font());
    layout->setCacheEnabled(true);
    layout->setTextOption(longWordIn(text) ? anywhere_ : option_);
    layout->setFormats(lineFormats(line));
    layout->beginLayout();
    qreal y = 0;
    while (true) {
        QTextLine row = layout->createLine();
        if (!row.isValid()) break;
        row.setLineWidth(textWidth());
        row.setPosition(QPointF(0, y));
        y += row.height();
    }
    layout->endLayout();
    layouts_.emplace(line, layout);
    return layout;
}

bool LineLayoutArea::longWordIn(QStringView text) {
    // Wrapping at word boundaries seeks the next one for every row: over a
    // long run without one that is a search per row through all of it.
    constexpr qsizetype kLongWord = 1000;
    qsizetype run = 0;
    for (const QChar c : text) {
        run = c.isSpace() ? 0 : run + 1;
        if (run >= kLongWord) return true;
    }
    return false;
}

int LineLayoutArea::lineHeight(std::size_t line) {
    return static_cast<int>(std::ceil(layoutLine(line)->boundingRect().height()));
}

const std::vector<LineLayoutArea::Row>& LineLayoutArea::rows() {
    if (rowsValid_) return rows_;
    rows_.clear();
    int top = kMargin;
    const int bottom = viewport()->height();
    for (std::size_t line = firstVisibleLine(); line < lineCount() && top < bottom; ++line) {
        const int height = lineHeight(line);
        rows_.push_back({line, top, height, layoutLine(line)});
        top += height;
    }
    rowsValid_ = true;
    return rows_;
}

void LineLayoutArea::refresh(bool relayout) {
    if (relayout) layouts_.clear();
    rowsValid_ = false;
    updateScrollRange();
    viewport()->update();
}

void LineLayoutArea::updateScrollRange() {
    // The range ends where the last lines just fill the view.
    const std::size_t count = lineCount();
    std::size_t first = count;
    int room = viewport()->height() - 2 * kMargin;
    while (first > 0) {
        room -= lineHeight(first - 1);
        if (room < 0 && first < count) break;
        --first;
    }
    QScrollBar* bar = verticalScrollBar();
    const int step = std::max(1, QFontMetrics(font()).lineSpacing());
    bar->setPageStep(std::max(1, viewport()->height() / step - 1));
    bar->setRange(0, static_cast<int>(std::min<std::size_t>(first, INT_MAX)));
}

void LineLayoutArea::showLine(std::size_t line) {
    QScrollBar* bar = verticalScrollBar();
    if (line < firstVisibleLine()) {
        bar->setValue(static_cast<int>(line));
        return;
    }
    const int bottom = viewport()->height();
    for (const Row& row : rows()) {
        if (row.line == line && row.top + row.height <= bottom) return;
    }
    std::size_t first = line;
    int room = bottom - 2 * kMargin;
    while (first > 0) {
        room -= lineHeight(first);
        if (room < 0) break;
        --first;
    }
    if (room < 0 && first < line) ++first;
    bar->setValue(static_cast<int>(first));
}

std::pair<std::size_t, int> LineLayoutArea::hitLine(const QPoint& point) {
    const std::vector<Row>& shown = rows();
    if (shown.empty()) return {0, 0};
    if (point.y() < shown.front().top) return {shown.front().line, 0};
    for (const Row& row : shown) {
        if (point.y() >= row.top + row.height) continue;
        const QPointF inside(point.x() - kMargin, point.y() - row.top);
        for (int i = 0; i < row.layout->lineCount(); ++i) {
            const QTextLine visual = row.layout->lineAt(i);
            if (inside.y() < visual.y() + visual.height() || i + 1 == row.layout->lineCount()) {
                return {row.line, std::max(0, visual.xToCursor(inside.x()))};
            }
        }
    }
    return {shown.back().line, static_cast<int>(shown.back().layout->text().size())};
}

void LineLayoutArea::followDrag(const QPoint& point) {
    QScrollBar* bar = verticalScrollBar();
    if (point.y() < 0) bar->setValue(bar->value() - 1);
    if (point.y() > viewport()->height()) bar->setValue(bar->value() + 1);
}

void LineLayoutArea::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    rowsValid_ = false;
    updateScrollRange();
}

void LineLayoutArea::scrollContentsBy(int, int) {
    rowsValid_ = false;
    viewport()->update();
}

void LineLayoutArea::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        setTabStops();
        refresh(true);
    }
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::PaletteChange) {
        viewport()->update();
    }
    QAbstractScrollArea::changeEvent(event);
}

}  // namespace zelvar
