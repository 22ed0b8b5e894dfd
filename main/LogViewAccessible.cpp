#include "LogViewAccessible.h"

#include <QAccessibleWidget>
#include <algorithm>
#include <climits>

#include "LogView.h"

namespace zelvar {

namespace {

class LogViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit LogViewAccessible(LogView* view) : QAccessibleWidget(view, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = view()->isReadOnly();
        state.multiLine = true;
        state.editable = !view()->isReadOnly();
        return state;
    }

    void selection(int index, int* start, int* end) const override {
        *start = *end = 0;
        const auto [from, to] = view()->selection();
        if (index != 0 || from == to) return;
        *start = offset(from);
        *end = offset(to);
    }
    int selectionCount() const override {
        const auto [from, to] = view()->selection();
        return from == to ? 0 : 1;
    }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int) override { view()->setCursorPosition(view()->cursorPosition()); }
    void setSelection(int, int start, int end) override {
        view()->setCursorPosition(place(start));
        view()->setCursorPosition(place(end), true);
    }
    int cursorPosition() const override { return offset(view()->cursorPosition()); }
    void setCursorPosition(int position) override { view()->setCursorPosition(place(position)); }

    using QAccessibleWidget::text;
    QString text(int start, int end) const override {
        const LineStore& lines = view()->lines();
        return QString::fromStdString(lines.text(place(start), place(end)));
    }
    int characterCount() const override {
        return offset(view()->lines().endPos());
    }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int start, int) override {
        view()->setCursorPosition(place(start));
    }
    QString attributes(int at, int* start, int* end) const override {
        *start = *end = at;
        return {};
    }

private:
    LogView* view() const { return static_cast<LogView*>(widget()); }
    int offset(TextPos pos) const {
        return static_cast<int>(std::min<std::size_t>(view()->lines().offsetOf(pos), INT_MAX));
    }
    TextPos place(int at) const {
        return view()->lines().posAt(static_cast<std::size_t>(std::max(at, 0)));
    }
};

QAccessibleInterface* makeAccessible(const QString&, QObject* object) {
    if (auto* view = qobject_cast<LogView*>(object)) return new LogViewAccessible(view);
    return nullptr;
}

}  // namespace

void InstallLogViewAccessible() {
    static const bool installed = [] {
        QAccessible::installFactory(makeAccessible);
        return true;
    }();
    (void)installed;
}

}  // namespace zelvar
