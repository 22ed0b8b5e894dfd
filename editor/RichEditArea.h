#pragma once

#include <QKeyEvent>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "EditorDocument.h"
#include "EditorText.h"
#include "TextArea.h"

class QMimeData;

// The editor's text area. The document lives in an EditorText; only the
// lines on the screen are laid out and drawn, wrapped at the window's edge,
// so a day's log opens, scrolls, marks and changes as quickly as a short
// one. The scroll bar counts lines. Beside what every text area does, it
// undoes, marks, holds keys while a document loads, and reports Escape and
// dropped files to the window instead of treating them here.
class RichEditArea : public zelvar::TextArea {
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

    // While a document loads the area is read-only, its keys that move the
    // caret or select wait and take effect on the loaded document, and keys
    // that would edit are refused (editingRefused).
    void setLoading(bool loading);

    // Positions count UTF-16 units, a line break as one.
    std::size_t position() const { return document_.offsetOf(caret()); }
    std::size_t selectionStart() const { return document_.offsetOf(selectedRange().first); }
    std::size_t selectionEnd() const { return document_.offsetOf(selectedRange().second); }
    // Selects from `anchor` to `position` (equal: only the caret) and brings
    // the caret into view.
    void setSelection(std::size_t anchor, std::size_t position) {
        select(document_.pointAt(anchor), document_.pointAt(position));
    }
    void moveToEnd() { setSelection(text_.size(), text_.size()); }

    // The marks the marker buttons go by: the selection's first character's,
    // or those the next typed character takes.
    zelvar::Marks currentMarks() const;
    // Changes the marks of the selection, or, with nothing selected, of what
    // is typed next.
    void mark(const std::function<zelvar::Marks(zelvar::Marks)>& change);
    // Every mark removed, as one step to undo; the caret goes to the start.
    void unmarkAll();

    void undo();
    void redo();

signals:
    void escapePressed();
    // A key that would edit came while a document loads.
    void editingRefused();
    // Local files dropped on the area, in the order the drag carried them.
    void filesDropped(const QStringList& paths);

protected:
    bool ownKey(QKeyEvent* event) override;
    void selectionMoved() override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // A document in place of the last: the caret at its start, the view at the top.
    void showNewDocument();
    // The text or its marks changed: the screen, the scroll range and the
    // listeners follow, and the view with the caret when asked.
    void showChange(bool followCaret);
    void showReplayed(const std::optional<zelvar::EditorText::Change>& change);
    // Caret keys and Ctrl+A, kept until the document has loaded; others
    // that would edit are refused.
    void keyWhileLoading(QKeyEvent* event);
    zelvar::Marks typingMarks() const;

    zelvar::EditorText text_;
    zelvar::EditorDocument document_{text_, [this] { return typingMarks(); }};
    bool loading_ = false;
    std::vector<std::unique_ptr<QKeyEvent>> waitingKeys_;
    // Marks chosen for the next typed text while nothing is selected; the
    // caret moving forgets them.
    std::optional<zelvar::Marks> typing_;
};

// The local files a drag carries; empty for text and other drags.
QStringList DraggedFiles(const QMimeData* mime);
