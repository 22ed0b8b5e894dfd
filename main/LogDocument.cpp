#include "LogDocument.h"

#include <algorithm>

namespace zelvar {

namespace {

bool ascii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

QString decode(std::string_view bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace

QString LogDocument::lineText(std::size_t line) const {
    return decode(bytes(line));
}

std::size_t LogDocument::lineLength(std::size_t line) const {
    const std::string_view text = bytes(line);
    return ascii(text) ? text.size() : static_cast<std::size_t>(decode(text).size());
}

TextPos LogDocument::posOf(TextPoint point) const {
    const std::string_view text = bytes(point.line);
    if (ascii(text)) return {point.line, std::min(text.size(), point.column)};
    const auto units = static_cast<qsizetype>(point.column);
    return {point.line, static_cast<std::size_t>(decode(text).left(units).toUtf8().size())};
}

TextPoint LogDocument::pointOf(TextPos pos) const {
    const std::string_view text = bytes(pos.line);
    const std::size_t column = std::min(pos.column, text.size());
    if (ascii(text.substr(0, column))) return {pos.line, column};
    return {pos.line, static_cast<std::size_t>(decode(text.substr(0, column)).size())};
}

QByteArray LogDocument::utf8(TextPoint from, TextPoint to) const {
    const std::string text = store_.text(posOf(from), posOf(to));
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

TextPoint LogDocument::replace(TextPoint from, TextPoint to, const QString& text, bool) {
    return pointOf(store_.replace(posOf(from), posOf(to), text.toStdString()));
}

}  // namespace zelvar
