#pragma once

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
