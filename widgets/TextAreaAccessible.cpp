#include "TextAreaAccessible.h"

#include <QAccessibleWidget>
#include <algorithm>
#include <climits>

#include "TextArea.h"

namespace zelvar {

namespace {

// One line's text alone, so that Qt's own search for characters, words and
// sentences runs on it rather than on the whole of a day's log.
class OneLine : public QAccessibleTextInterface {
public:
    explicit OneLine(QString text) : text_(std::move(text)) {}
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int start, int end) const override { return text_.mid(start, end - start); }
    int characterCount() const override { return static_cast<int>(text_.size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int at, int* start, int* end) const override {
        *start = *end = at;
        return {};
    }

private:
    QString text_;
};

class TextAreaAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit TextAreaAccessible(TextArea* area)
        : QAccessibleWidget(area, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = area()->isReadOnly();
        state.multiLine = true;
        state.editable = !area()->isReadOnly();
        return state;
    }

    void selection(int index, int* start, int* end) const override {
        *start = *end = 0;
        const auto [from, to] = area()->selectedRange();
        if (index != 0 || from == to) return;
        *start = offset(from);
        *end = offset(to);
    }
    int selectionCount() const override { return area()->hasSelection() ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int) override { area()->moveCaret(area()->caret()); }
    void setSelection(int, int start, int end) override {
        area()->select(place(start), place(end));
    }
    int cursorPosition() const override { return offset(area()->caret()); }
    void setCursorPosition(int position) override { area()->moveCaret(place(position)); }

    using QAccessibleWidget::text;
    QString text(int start, int end) const override {
        return QString::fromUtf8(document().utf8(place(start), place(end)));
    }
    int characterCount() const override { return offset(document().end()); }
    QRect characterRect(int at) const override {
        const QRect inside = area()->characterRect(place(at));
        if (inside.isEmpty()) return {};
        return {area()->viewport()->mapToGlobal(inside.topLeft()), inside.size()};
    }
    int offsetAtPoint(const QPoint& point) const override {
        const QPoint inside = area()->viewport()->mapFromGlobal(point);
        if (!area()->viewport()->rect().contains(inside)) return -1;
        return offset(area()->hitTest(inside));
    }
    void scrollToSubstring(int start, int) override { area()->moveCaret(place(start)); }
    QString attributes(int at, int* start, int* end) const override {
        *start = *end = at;
        return {};
    }

    QString textBeforeOffset(int at, QAccessible::TextBoundaryType type, int* start,
                             int* end) const override {
        return around(at, type, -1, start, end);
    }
    QString textAtOffset(int at, QAccessible::TextBoundaryType type, int* start,
                         int* end) const override {
        return around(at, type, 0, start, end);
    }
    QString textAfterOffset(int at, QAccessible::TextBoundaryType type, int* start,
                            int* end) const override {
        return around(at, type, 1, start, end);
    }

private:
    TextArea* area() const { return static_cast<TextArea*>(widget()); }
    const LineDocument& document() const { return area()->document(); }
    int offset(TextPoint point) const {
        return static_cast<int>(std::min<std::size_t>(document().offsetOf(point), INT_MAX));
    }
    TextPoint place(int at) const {
        return document().pointAt(static_cast<std::size_t>(std::max(at, 0)));
    }

    // The line before, at or after an offset, with its line break; or the
    // character, word or sentence there, found in its line alone.
    QString around(int at, QAccessible::TextBoundaryType type, int side, int* start,
                   int* end) const {
        *start = *end = -1;
        if (type == QAccessible::NoBoundary) {
            *start = 0;
            *end = characterCount();
            return side == 0 ? text(*start, *end) : QString();
        }
        const TextPoint point = place(at);
        if (type == QAccessible::LineBoundary || type == QAccessible::ParagraphBoundary) {
            if ((side < 0 && point.line == 0) ||
                (side > 0 && point.line + 1 >= document().lineCount())) {
                return {};
            }
            const std::size_t line = side < 0 ? point.line - 1 : point.line + (side > 0 ? 1 : 0);
            *start = offset({line, 0});
            *end = line + 1 < document().lineCount() ? offset({line + 1, 0}) : characterCount();
            return text(*start, *end);
        }
        const OneLine one(document().lineText(point.line));
        const int column = static_cast<int>(point.column);
        QString found = side < 0   ? one.textBeforeOffset(column, type, start, end)
                        : side > 0 ? one.textAfterOffset(column, type, start, end)
                                   : one.textAtOffset(column, type, start, end);
        if (*start >= 0) {
            *start = offset({point.line, static_cast<std::size_t>(*start)});
            *end = offset({point.line, static_cast<std::size_t>(*end)});
        }
        return found;
    }
};

QAccessibleInterface* makeAccessible(const QString&, QObject* object) {
    if (auto* area = qobject_cast<TextArea*>(object)) return new TextAreaAccessible(area);
    return nullptr;
}

}  // namespace

void InstallTextAreaAccessible() {
    static const bool installed = [] {
        QAccessible::installFactory(makeAccessible);
        return true;
    }();
    (void)installed;
}

}  // namespace zelvar
