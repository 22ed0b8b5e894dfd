#include "LineList.h"

namespace zelvar {

void LineList::append(std::string_view line) {
    text_.append(line);
    text_.push_back('\n');
    ends_.push_back(text_.size() - 1);
}

void LineList::clear() {
    text_.clear();
    ends_.clear();
}

void LineList::reserve(std::size_t lines, std::size_t chars) {
    ends_.reserve(lines);
    text_.reserve(chars);
}

std::string_view LineList::operator[](std::size_t index) const {
    const std::size_t begin = index == 0 ? 0 : ends_[index - 1] + 1;
    return std::string_view(text_).substr(begin, ends_[index] - begin);
}

std::string_view LineList::joined() const {
    if (text_.empty()) return {};
    return std::string_view(text_).substr(0, text_.size() - 1);
}

LineList LineList::fromText(std::string_view text) {
    LineList lines;
    // A line of a saved log is rarely shorter than this; a fair guess spares
    // the list most of its regrowth on a large file.
    lines.reserve(text.size() / 40 + 1, text.size() + 1);
    std::size_t begin = 0;
    const std::size_t size = text.size();
    while (begin < size) {
        std::size_t end = begin;
        while (end < size && text[end] != '\r' && text[end] != '\n') ++end;
        lines.append(text.substr(begin, end - begin));
        if (end + 1 < size && text[end] == '\r' && text[end + 1] == '\n') ++end;
        begin = end + 1;
    }
    return lines;
}

}  // namespace zelvar
