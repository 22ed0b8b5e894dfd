#pragma once

#include <QStringList>
#include <QTextEdit>

class QMimeData;

// The editor's text area: a QTextEdit that reports Escape and dropped files
// to its window instead of treating them itself.
class RichEditArea : public QTextEdit {
    Q_OBJECT

public:
    explicit RichEditArea(QWidget* parent = nullptr);

signals:
    void escapePressed();
    // Local files dropped on the area, in the order the drag carried them.
    void filesDropped(const QStringList& paths);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

// The local files a drag carries; empty for text and other drags.
QStringList DraggedFiles(const QMimeData* mime);
