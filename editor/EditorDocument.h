#pragma once

#include <functional>

#include "EditorText.h"
#include "LineDocument.h"

namespace zelvar {

// The editor's text as its text area sees it: offsets are the document's
// UTF-16 positions, and typed or pasted text takes the marks the area gives
// for the caret.
class EditorDocument : public LineDocument {
public:
    EditorDocument(EditorText& text, std::function<Marks()> typingMarks)
        : text_(text), typingMarks_(std::move(typingMarks)) {}

    std::size_t lineCount() const override { return text_.lineCount(); }
    QString lineText(std::size_t line) const override;
    std::size_t lineLength(std::size_t line) const override {
        return text_.lineEnd(line) - text_.lineStart(line);
    }
    QList<QTextLayout::FormatRange> lineFormats(std::size_t line) const override;
    QByteArray utf8(TextPoint from, TextPoint to) const override;
    TextPoint replace(TextPoint from, TextPoint to, const QString& text, bool typing) override;
    std::size_t offsetOf(TextPoint point) const override {
        return text_.lineStart(point.line) + point.column;
    }
    TextPoint pointAt(std::size_t offset) const override;

private:
    EditorText& text_;
    std::function<Marks()> typingMarks_;
};

}  // namespace zelvar
