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

}  // namespace zelvar
