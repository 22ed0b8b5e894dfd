#include "LogView.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QScrollBar>

namespace zelvar {

LogView::LogView(const QString& name, QWidget* parent) : TextArea(document_, parent) {
    setObjectName(name);
    setReadOnly(true);
    updateScrollRange();
}

LogView::~LogView() = default;

QString LogView::toPlainText() const {
    return QString::fromStdString(store_.text({}, store_.endPos()));
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

std::pair<TextPos, TextPos> LogView::selection() const {
    const auto [from, to] = selectedRange();
    return {document_.posOf(from), document_.posOf(to)};
}

void LogView::contextMenuEvent(QContextMenuEvent* event) {
    // Shown without an event loop of its own: its commands come as any others.
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool selected = hasSelection();
    const bool editable = !isReadOnly();
    menu->addAction(tr("Cu&t"), this, &LogView::cut)->setEnabled(editable && selected);
    menu->addAction(tr("&Copy"), this, &LogView::copy)->setEnabled(selected);
    menu->addAction(tr("&Paste"), this, &LogView::paste)->setEnabled(editable);
    menu->addAction(tr("Delete"), this, &LogView::deleteSelection)->setEnabled(editable && selected);
    menu->addSeparator();
    menu->addAction(tr("Select All"), this, &LogView::selectAll)->setEnabled(!store_.empty());
    menu->popup(event->globalPos());
}

}  // namespace zelvar
