#pragma once

#include <QBasicTimer>
#include <QByteArray>
#include <algorithm>
#include <utility>

#include "LineDocument.h"
#include "LineLayoutArea.h"

class QKeyEvent;

namespace zelvar {

// The caret, the selection, the keys, the mouse, the clipboard and the input
// method of a text area over a LineDocument, the same whatever the document
// is: the log views over their stored lines and the editor over its text.
// The area built on it adds only what it does differently (appending, undo,
// marks, its own keys). Read-only, it still moves, selects and copies.
class TextArea : public LineLayoutArea {
    Q_OBJECT

public:
    ~TextArea() override;

    std::size_t lineCount() const override { return document_.lineCount(); }
    QString lineText(std::size_t line) const override { return document_.lineText(line); }

    bool isReadOnly() const { return readOnly_; }
    void setReadOnly(bool readOnly);

    TextPoint caret() const { return caret_; }
    TextPoint anchor() const { return anchor_; }
    // The selection's ends, the earlier first (equal: nothing selected).
    std::pair<TextPoint, TextPoint> selectedRange() const { return std::minmax(caret_, anchor_); }
    bool hasSelection() const { return caret_ != anchor_; }
    // Moves the caret, keeping the selection's other end when asked, and
    // brings it into view.
    void moveCaret(TextPoint to, bool keepAnchor = false);
    void select(TextPoint anchor, TextPoint caret);
    QString selectedText() const;
    // The view stays where it is.
    void selectAll();

    void copy() const;
    void cut();
    void paste();
    // Replace the selection, read-only or not (typing and the clipboard
    // commands look at that themselves).
    void insertText(const QString& text);
    void deleteSelection();

    const LineDocument& document() const { return document_; }
    // The place under a point of the viewport.
    TextPoint hitTest(const QPoint& point);
    // Where the character at a place is drawn, in the viewport; empty when
    // its line is not on the screen.
    QRect characterRect(TextPoint point);

signals:
    // The caret or the selection moved.
    void selectionChanged();

protected:
    // `document` is a member of the area built on this one: nothing here
    // reads it before that area is made.
    TextArea(LineDocument& document, QWidget* parent);

    QList<QTextLayout::FormatRange> lineFormats(std::size_t line) const override {
        return document_.lineFormats(line);
    }

    // A key the area treats before the shared ones; true when it did.
    virtual bool ownKey(QKeyEvent*) { return false; }
    // After the caret or the selection moved: the screen and the listeners follow.
    virtual void selectionMoved();
    // The document changed by other means than the area's own edits: the
    // caret and the selection stay inside it and the screen follows, with
    // all lines laid out anew if asked.
    void documentChanged(bool relayout);
    // Sets the selection, to be shown by documentChanged.
    void setSelectionQuietly(TextPoint anchor, TextPoint caret) {
        anchor_ = anchor;
        caret_ = caret;
    }
    void replaceSelection(const QString& with, bool typing);
    void ensureCaretVisible() { showLine(caret_.line); }
    TextPoint clamp(TextPoint point) const;

    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    // One character on, or back; a line break counts as one.
    TextPoint nextPoint(TextPoint from, int direction) const;
    // To the next word's start, or back to this or the last word's.
    TextPoint wordStep(TextPoint from, int direction) const;
    // One screen row up or down from the caret, at its x.
    TextPoint rowStep(int direction);
    bool moveKey(QKeyEvent* event);
    bool editKey(QKeyEvent* event);
    void restartBlink();

    LineDocument& document_;
    bool readOnly_ = false;
    TextPoint caret_;
    TextPoint anchor_;
    QBasicTimer blink_;
    bool caretShown_ = true;
};

// Puts text on the clipboard as these UTF-8 bytes, half what the same text
// takes as a QString: a day's log may stay there while the window goes on.
// A paste reads them as text.
void CopyUtf8(QByteArray bytes);

}  // namespace zelvar
