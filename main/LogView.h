#pragma once

#include <QByteArray>
#include <string_view>
#include <utility>

#include "LineStore.h"
#include "LogDocument.h"
#include "TextArea.h"

namespace zelvar {

// A log view of any length: the lines live in a LineStore, and only those on
// the screen are laid out and drawn, wrapped at blanks at the window's edge.
// The scroll bar counts lines. Text is selectable with the mouse and the
// keyboard; while not read-only (only beside the editor), keys, paste and
// cut edit the store itself. Escape goes on to the window.
class LogView : public TextArea {
    Q_OBJECT

public:
    explicit LogView(const QString& name, QWidget* parent = nullptr);
    ~LogView() override;

    const LineStore& lines() const { return store_; }
    std::size_t lineCount() const override { return store_.lineCount(); }
    bool isEmpty() const { return store_.empty(); }
    // The whole text, LF-joined (for short logs: tests, the accessible text).
    QString toPlainText() const;

    // Appends LF-joined lines and shows the end of the log.
    void appendLines(std::string_view joined);
    // Takes a store's lines over after its own, without copying them.
    void appendStore(LineStore&& lines);
    void removeLastLine();
    void clear();
    // The saved bytes, sharing the store's chunks; and the same with the view emptied.
    LogBytes snapshot() const { return store_.snapshot(); }
    LogBytes takeSnapshotAndClear();

    // Places count bytes into the stored lines.
    TextPos cursorPosition() const { return document_.posOf(caret()); }
    void setCursorPosition(TextPos pos, bool keepAnchor = false) {
        moveCaret(document_.pointOf(store_.clamp(pos)), keepAnchor);
    }
    // The selection's ends, the earlier first (equal: nothing selected).
    std::pair<TextPos, TextPos> selection() const;
    // The lines wholly or partly on the screen.
    std::size_t visibleLineCount();
    void scrollToEnd();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // The lines changed (all of them laid out anew if asked): cursor, scroll
    // range and screen follow.
    void changed(bool relayout) { documentChanged(relayout); }

    LineStore store_;
    LogDocument document_{store_};
};

}  // namespace zelvar
