#pragma once

#include <QByteArray>
#include <string_view>
#include <utility>

#include "LineLayoutArea.h"
#include "LineStore.h"

namespace zelvar {

// A log view of any length: the lines live in a LineStore, and only those on
// the screen are laid out and drawn, wrapped at blanks at the window's edge.
// The scroll bar counts lines. Text is selectable with the mouse and the
// keyboard; while not read-only, keys, paste and cut edit the store itself.
class LogView : public LineLayoutArea {
    Q_OBJECT

public:
    explicit LogView(const QString& name, QWidget* parent = nullptr);
    ~LogView() override;

    const LineStore& lines() const { return store_; }
    std::size_t lineCount() const override { return store_.lineCount(); }
    bool isEmpty() const { return store_.empty(); }
    QString lineText(std::size_t index) const override;
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

    bool isReadOnly() const { return readOnly_; }
    void setReadOnly(bool readOnly);

    TextPos cursorPosition() const { return cursor_; }
    // Moves the cursor, keeping the selection's other end when asked.
    void setCursorPosition(TextPos pos, bool keepAnchor = false);
    // The selection's ends, the earlier first (equal: nothing selected).
    std::pair<TextPos, TextPos> selection() const;
    QString selectedText() const;
    void selectAll();
    void copy() const;
    // Replaces the selection, whether or not the view is read-only (typing
    // and the clipboard commands check that themselves).
    void insertText(const QString& text);
    void cut();
    void paste();
    void deleteSelection();
    // The lines wholly or partly on the screen.
    std::size_t visibleLineCount();
    void scrollToEnd();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    // The lines changed (all of them laid out anew if asked): cursor, scroll
    // range and screen follow.
    void changed(bool relayout);
    void ensureCursorVisible() { showLine(cursor_.line); }
    TextPos hitTest(const QPoint& point);
    TextPos nextPos(TextPos pos, int direction) const;
    bool moveKey(QKeyEvent* event);
    bool editKey(QKeyEvent* event);
    void replaceSelection(std::string_view bytes);

    LineStore store_;
    bool readOnly_ = true;
    TextPos cursor_;
    TextPos anchor_;
};

// Puts text on the clipboard as these UTF-8 bytes, half what the same text
// takes as a QString: a day's log may stay there while the window decodes
// the next one. A paste reads them as text.
void CopyUtf8(QByteArray bytes);

}  // namespace zelvar
