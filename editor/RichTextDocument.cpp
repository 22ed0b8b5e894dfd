#include "RichTextDocument.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace zelvar {

namespace {

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);

QTextCharFormat markedFormat(const QTextCharFormat& base, Marks marks) {
    QTextCharFormat format = base;
    if (marks.color == MarkColor::Red) format.setForeground(kRed);
    if (marks.color == MarkColor::Blue) format.setForeground(kBlue);
    if (marks.bold) format.setFontWeight(QFont::Bold);
    return format;
}

Marks marksOf(const QTextCharFormat& format) {
    Marks marks;
    if (format.hasProperty(QTextFormat::ForegroundBrush) &&
        format.foreground().style() != Qt::NoBrush) {
        const QColor color = format.foreground().color().toRgb();
        marks.color = NearestMarkColor(color.red(), color.green(), color.blue());
    }
    marks.bold = format.hasProperty(QTextFormat::FontWeight) && format.fontWeight() >= QFont::Bold;
    return marks;
}

// Fills the document through `insert`, which inserts with the cursor it is
// given, as one edit that is not kept for undo.
template <typename Insert>
void fill(QTextDocument& document, const QTextCharFormat& base, const Insert& insert) {
    const bool undo = document.isUndoRedoEnabled();
    document.setUndoRedoEnabled(false);
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    cursor.setBlockCharFormat(base);
    insert(cursor);
    cursor.endEditBlock();
    document.setUndoRedoEnabled(undo);
}

}  // namespace

void FillDocument(QTextDocument& document, const RichText& text, const QTextCharFormat& base) {
    fill(document, base, [&](QTextCursor& cursor) {
        std::size_t at = 0;
        for (const MarkRun& run : text.runs) {
            const std::size_t length = std::min(run.length, text.text.size() - at);
            // One insertion per run: the document splits it into paragraphs at
            // each '\n' far faster than line by line.
            cursor.insertText(
                QString::fromUtf16(text.text.data() + at, static_cast<qsizetype>(length)),
                markedFormat(base, run.marks));
            at += length;
        }
    });
}

void FillPlainDocument(QTextDocument& document, const QString& text, const QTextCharFormat& base) {
    fill(document, base,
         [&](QTextCursor& cursor) { cursor.insertText(text, markedFormat(base, Marks{})); });
}

RichText DocumentMarks(const QTextDocument& document) {
    RichText text;
    text.text.reserve(static_cast<std::size_t>(document.characterCount()));
    bool first = true;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (!first) text.append(u'\n', marksOf(block.charFormat()));
        first = false;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid()) continue;
            const QString part = fragment.text();
            text.append(std::u16string_view(reinterpret_cast<const char16_t*>(part.utf16()),
                                            static_cast<std::size_t>(part.size())),
                        marksOf(fragment.charFormat()));
        }
    }
    return text;
}

}  // namespace zelvar
