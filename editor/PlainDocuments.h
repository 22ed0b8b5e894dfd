#pragma once

#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringView>
#include <string>
#include <string_view>

#include "ProcessLines.h"
#include "RichText.h"

namespace zelvar {

// Plain text as a document without marks, with its room for editing.
RichText PlainDocument(QStringView text);
// The same from UTF-8, decoded straight into the document's text: a day's
// log is not held a second time on its way.
RichText Utf8Document(std::string_view utf8);
// A document made of UTF-8 lines given one at a time, a '\n' after each:
// the text Utf8Document makes of them all, without them all at once.
class Utf8DocumentLines {
public:
    // Room for `units` UTF-16 units, reserved with the first line.
    explicit Utf8DocumentLines(std::size_t units) : units_(units) {}
    void append(std::string_view line);
    RichText take() { return std::move(document_); }

private:
    std::size_t units_;
    RichText document_;
    std::string line_;
    // Each line goes in with its '\n', after which the decoder holds nothing
    // back: a line cut inside a character decodes as in the whole text.
    QStringDecoder decoder_{QStringDecoder::Utf8};
};

// A document's text as UTF-8, encoded straight into the result.
std::string Utf8Text(std::u16string_view text);

// A document's text line by line as UTF-8, each line the bytes Utf8Text
// gives for it, split as LineList::fromText splits that text.
class Utf8Lines : public LineReader {
public:
    explicit Utf8Lines(std::u16string_view text) : text_(text) {}
    std::size_t lineCount() override;
    std::string_view next() override;
    std::size_t sizeHint() const override { return text_.size(); }

private:
    std::u16string_view text_;
    std::size_t at_ = 0;
    std::string line_;
    // Each line is encoded with its line end, after which the encoder holds
    // nothing back: a lone surrogate before it is encoded as in the whole text.
    QStringEncoder encoder_{QStringEncoder::Utf8};
};

}  // namespace zelvar
