#pragma once

#include "LineDocument.h"
#include "LineStore.h"

namespace zelvar {

// A log view's stored lines as the text area sees them: columns in UTF-16
// units over lines kept as UTF-8 bytes (the same for the program's own ASCII
// lines), offsets in the bytes of the LF-joined text. An empty log shows as
// one empty line.
class LogDocument : public LineDocument {
public:
    explicit LogDocument(LineStore& store) : store_(store) {}

    std::size_t lineCount() const override { return store_.empty() ? 1 : store_.lineCount(); }
    QString lineText(std::size_t line) const override;
    std::size_t lineLength(std::size_t line) const override;
    QByteArray utf8(TextPoint from, TextPoint to) const override;
    TextPoint replace(TextPoint from, TextPoint to, const QString& text, bool typing) override;
    std::size_t offsetOf(TextPoint point) const override { return store_.offsetOf(posOf(point)); }
    TextPoint pointAt(std::size_t offset) const override { return pointOf(store_.posAt(offset)); }

    TextPos posOf(TextPoint point) const;
    TextPoint pointOf(TextPos pos) const;

private:
    std::string_view bytes(std::size_t line) const {
        return line < store_.lineCount() ? store_.line(line) : std::string_view();
    }

    LineStore& store_;
};

}  // namespace zelvar
