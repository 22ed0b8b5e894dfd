#include "LineList.h"

#include <cstring>

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

LineList LineList::fromText(std::string text) {
    // The lines are moved together inside the text's own buffer, each line
    // end becoming one LF.
    LineList lines;
    lines.ends_.reserve(text.size() / 40 + 1);
    const std::size_t size = text.size();
    char* buffer = text.data();
    std::size_t read = 0;
    std::size_t write = 0;
    while (read < size) {
        const std::size_t begin = read;
        while (read < size && buffer[read] != '\r' && buffer[read] != '\n') ++read;
        const std::size_t length = read - begin;
        if (write != begin) std::memmove(buffer + write, buffer + begin, length);
        write += length;
        lines.ends_.push_back(write);
        if (read + 1 < size && buffer[read] == '\r' && buffer[read + 1] == '\n') ++read;
        ++read;
        if (write < size) {
            buffer[write] = '\n';
        } else {
            // Only a last line without a line end fills the buffer to its end.
            text.push_back('\n');
            buffer = text.data();
        }
        ++write;
    }
    text.resize(write);
    lines.text_ = std::move(text);
    return lines;
}

}  // namespace zelvar
