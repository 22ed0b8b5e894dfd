#include "EditorDocument.h"

#include <algorithm>

namespace zelvar {

QString EditorDocument::lineText(std::size_t line) const {
    const std::u16string text = text_.line(line);
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QList<QTextLayout::FormatRange> EditorDocument::lineFormats(std::size_t line) const {
    const std::size_t start = text_.lineStart(line);
    QList<QTextLayout::FormatRange> marks;
    for (const MarkSpan& span : text_.spansIn(start, text_.lineEnd(line))) {
        QTextLayout::FormatRange range;
        range.start = static_cast<int>(span.begin - start);
        range.length = static_cast<int>(span.end - span.begin);
        if (span.marks.color == MarkColor::Red) range.format.setForeground(QColor(255, 0, 0));
        if (span.marks.color == MarkColor::Blue) range.format.setForeground(QColor(0, 0, 255));
        if (span.marks.bold) range.format.setFontWeight(QFont::Bold);
        marks.append(range);
    }
    return marks;
}

QByteArray EditorDocument::utf8(TextPoint from, TextPoint to) const {
    const std::string_view bytes = text_.utf8Slice(offsetOf(from), offsetOf(to));
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

TextPoint EditorDocument::replace(TextPoint from, TextPoint to, const QString& text, bool typing) {
    const std::size_t at = offsetOf(from);
    const std::u16string_view units(reinterpret_cast<const char16_t*>(text.utf16()),
                                    static_cast<std::size_t>(text.size()));
    text_.replace(at, offsetOf(to), units, typingMarks_(), typing);
    return pointAt(at + units.size());
}

TextPoint EditorDocument::pointAt(std::size_t offset) const {
    offset = std::min(offset, text_.size());
    const std::size_t line = text_.lineOf(offset);
    return {line, offset - text_.lineStart(line)};
}

}  // namespace zelvar
