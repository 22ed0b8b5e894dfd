#pragma once

#include <QStringList>
#include <QTextEdit>
#include <functional>

class QMimeData;

// The editor's text area: a QTextEdit that reports Escape and dropped files
// to its window instead of treating them itself.
class RichEditArea : public QTextEdit {
    Q_OBJECT

public:
    explicit RichEditArea(QWidget* parent = nullptr);

    // Runs a change that reaches over much of a long text with the layout
    // held off, then lays the text out afresh from its start, screen by
    // screen as an opened text is, the view staying where it was. Merging a
    // format into a long stretch, or bringing the caret to the end, would
    // otherwise lay out all of it at once, at a cost that grows faster than
    // the text.
    void withoutLayout(const std::function<void()>& change);
    // Ctrl+A and the context menu's command: the whole text selected without
    // laying it out to its end.
    void selectWholeText();

signals:
    void escapePressed();
    // Local files dropped on the area, in the order the drag carried them.
    void filesDropped(const QStringList& paths);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

// The local files a drag carries; empty for text and other drags.
QStringList DraggedFiles(const QMimeData* mime);
