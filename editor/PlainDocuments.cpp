#include "PlainDocuments.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace zelvar {

RichText PlainDocument(QStringView text) {
    RichText plain;
    const auto units = static_cast<std::size_t>(text.size());
    plain.text.reserve(EditingCapacity(units));
    plain.append(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), units), {});
    return plain;
}

RichText Utf8Document(std::string_view utf8) {
    // Never more UTF-16 units than bytes.
    RichText plain;
    plain.text.reserve(EditingCapacity(utf8.size()));
    plain.text.resize(utf8.size());
    QStringDecoder decoder(QStringDecoder::Utf8);
    auto* begin = reinterpret_cast<QChar*>(plain.text.data());
    const QChar* end = decoder.appendToBuffer(
        begin, QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())));
    plain.text.resize(static_cast<std::size_t>(end - begin));
    return plain;
}

void Utf8DocumentLines::append(std::string_view line) {
    std::u16string& text = document_.text;
    if (text.empty()) text.reserve(EditingCapacity(units_));
    // In one piece with its '\n': the decoder drops a byte that ends a
    // character cut at the end of the previous piece.
    line_.assign(line);
    line_.push_back('\n');
    const std::size_t at = text.size();
    // Never more UTF-16 units than bytes.
    text.resize(at + line_.size());
    auto* begin = reinterpret_cast<QChar*>(text.data());
    QChar* end = decoder_.appendToBuffer(
        begin + at, QByteArrayView(line_.data(), static_cast<qsizetype>(line_.size())));
    text.resize(static_cast<std::size_t>(end - begin));
}

std::string Utf8Text(std::u16string_view text) {
    // Measured first: a surrogate counts three bytes, what a lone one
    // becomes (a pair needs four).
    std::size_t bytes = 0;
    for (const char16_t unit : text) bytes += unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3;
    std::string out(bytes, '\0');
    QStringEncoder encoder(QStringEncoder::Utf8);
    char* end = encoder.appendToBuffer(
        out.data(), QStringView(text.data(), static_cast<qsizetype>(text.size())));
    out.resize(static_cast<std::size_t>(end - out.data()));
    return out;
}

std::size_t Utf8Lines::lineCount() {
    std::size_t count = 0;
    const std::size_t size = text_.size();
    for (std::size_t at = 0; at < size; ++at) {
        const char16_t unit = text_[at];
        count += unit == u'\n' || (unit == u'\r' && (at + 1 == size || text_[at + 1] != u'\n'));
    }
    // A last line without a line end.
    if (size > 0 && text_.back() != u'\n' && text_.back() != u'\r') ++count;
    return count;
}

std::string_view Utf8Lines::next() {
    std::size_t end = at_;
    while (end < text_.size() && text_[end] != u'\n' && text_[end] != u'\r') ++end;
    std::size_t lineEnd = 0;
    if (end < text_.size()) {
        lineEnd = end + 1 < text_.size() && text_[end] == u'\r' && text_[end + 1] == u'\n' ? 2 : 1;
    }
    const std::u16string_view part = text_.substr(at_, end - at_ + lineEnd);
    at_ = end + lineEnd;
    line_.resize(3 * part.size());
    char* written = encoder_.appendToBuffer(
        line_.data(), QStringView(part.data(), static_cast<qsizetype>(part.size())));
    // The line end's characters are one byte each.
    line_.resize(static_cast<std::size_t>(written - line_.data()) - lineEnd);
    return line_;
}

}  // namespace zelvar
