#pragma once

#include <QBasicTimer>
#include <QKeyEvent>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "EditorText.h"
#include "LineLayoutArea.h"

class QMimeData;

// The editor's text area. The document lives in an EditorText; only the
// lines on the screen are laid out and drawn, wrapped at the window's edge,
// so a day's log opens, scrolls, marks and changes as quickly as a short
// one. The scroll bar counts lines. Escape and dropped files are reported
// to the window instead of being treated here.
class RichEditArea : public zelvar::LineLayoutArea {
    Q_OBJECT

public:
    explicit RichEditArea(QWidget* parent = nullptr);
    ~RichEditArea() override;

    const zelvar::EditorText& content() const { return text_; }
    // A new document, with nothing to undo, the caret at its start and the
    // view at the top.
    void setContent(zelvar::EditorText text);
    void clear() { setContent(zelvar::EditorText()); }
    // A command's result: the document becomes `text` as one step to undo
    // (see EditorText::replaceAll), the caret at its start, the view at the top.
    void replaceAll(zelvar::EditorText text, std::string command, bool join = false);

    bool isReadOnly() const { return readOnly_; }
    void setReadOnly(bool readOnly);
    // While a document loads the area is read-only, its keys that move the
    // caret or select wait and take effect on the loaded document, and keys
    // that would edit are refused (editingRefused).
    void setLoading(bool loading);

    // Positions count UTF-16 units, a line break as one.
    std::size_t position() const { return caret_; }
    std::size_t selectionStart() const { return std::min(caret_, anchor_); }
    std::size_t selectionEnd() const { return std::max(caret_, anchor_); }
    bool hasSelection() const { return caret_ != anchor_; }
    // Selects from `anchor` to `position` (equal: only the caret) and brings
    // the caret into view.
    void setSelection(std::size_t anchor, std::size_t position);
    void moveToEnd() { setSelection(text_.size(), text_.size()); }
    // Ctrl+A and the context menu's command; the view stays where it is.
    void selectWholeText();

    // The marks the marker buttons go by: the selection's first character's,
    // or those the next typed character takes.
    zelvar::Marks currentMarks() const;
    // Changes the marks of the selection, or, with nothing selected, of what
    // is typed next.
    void mark(const std::function<zelvar::Marks(zelvar::Marks)>& change);
    // Every mark removed, as one step to undo; the caret goes to the start.
    void unmarkAll();

    // Replaces the selection, as typing does, read-only or not.
    void insertText(const QString& text);
    void deleteSelection();
    void undo();
    void redo();
    void cut();
    void copy() const;
    void paste();

signals:
    void escapePressed();
    // A key that would edit came while a document loads.
    void editingRefused();
    // Local files dropped on the area, in the order the drag carried them.
    void filesDropped(const QStringList& paths);
    // The caret or the selection moved.
    void selectionChanged();

protected:
    std::size_t lineCount() const override { return text_.lineCount(); }
    QString lineText(std::size_t line) const override;
    QList<QTextLayout::FormatRange> lineFormats(std::size_t line) const override;

    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void ensureCaretVisible() { showLine(text_.lineOf(caret_)); }
    // A document in place of the last: the caret at its start, the view at the top.
    void showNewDocument();
    // The text or its marks changed: the screen, the scroll range and the
    // listeners follow, and the view with the caret when asked.
    // With `onlyLine` the change kept to that line.
    void showChange(bool followCaret, std::optional<std::size_t> onlyLine = std::nullopt);
    void showReplayed(const std::optional<zelvar::EditorText::Change>& change);
    void moveCaret(std::size_t position, bool keepAnchor);
    void restartBlink();
    std::size_t hitTest(const QPoint& point);
    // The position one visual row up or down from the caret, at its x.
    std::size_t rowStep(int direction);
    std::size_t wordStep(std::size_t from, int direction) const;
    bool moveKey(QKeyEvent* event);
    // Caret keys and Ctrl+A, kept until the document has loaded; others
    // that would edit are refused.
    void keyWhileLoading(QKeyEvent* event);
    bool editKey(QKeyEvent* event);
    zelvar::Marks typingMarks() const;
    void replaceSelection(const std::u16string& with, bool typing);

    zelvar::EditorText text_;
    bool readOnly_ = false;
    bool loading_ = false;
    std::vector<std::unique_ptr<QKeyEvent>> waitingKeys_;
    std::size_t caret_ = 0;
    std::size_t anchor_ = 0;
    // Marks chosen for the next typed text while nothing is selected; the
    // caret moving forgets them.
    std::optional<zelvar::Marks> typing_;
    QBasicTimer blink_;
    bool caretShown_ = true;
};

// The local files a drag carries; empty for text and other drags.
QStringList DraggedFiles(const QMimeData* mime);
