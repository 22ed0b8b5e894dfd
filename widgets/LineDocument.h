#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTextLayout>
#include <compare>
#include <cstddef>

namespace zelvar {

// A place in a text area: a line and a UTF-16 index into its text, as the
// area lays it out.
struct TextPoint {
    std::size_t line = 0;
    std::size_t column = 0;
    friend bool operator==(const TextPoint&, const TextPoint&) = default;
    friend auto operator<=>(const TextPoint&, const TextPoint&) = default;
};

// The lines a TextArea shows and edits, whatever holds them. There is always
// a line, if empty.
class LineDocument {
public:
    virtual ~LineDocument() = default;

    virtual std::size_t lineCount() const = 0;
    virtual QString lineText(std::size_t line) const = 0;
    // In UTF-16 units.
    virtual std::size_t lineLength(std::size_t line) const {
        return static_cast<std::size_t>(lineText(line).size());
    }
    virtual QList<QTextLayout::FormatRange> lineFormats(std::size_t) const { return {}; }

    // What lies between two places, LF-joined, as the clipboard takes it.
    virtual QByteArray utf8(TextPoint from, TextPoint to) const = 0;
    // Replaces what lies between two places with LF-joined text, `typing`
    // when typed; gives the place after the new text.
    virtual TextPoint replace(TextPoint from, TextPoint to, const QString& text, bool typing) = 0;

    // Offsets into the whole LF-joined text, in the document's own unit,
    // for the accessible text.
    virtual std::size_t offsetOf(TextPoint point) const = 0;
    virtual TextPoint pointAt(std::size_t offset) const = 0;

    TextPoint end() const {
        const std::size_t last = lineCount() - 1;
        return {last, lineLength(last)};
    }
};

}  // namespace zelvar
