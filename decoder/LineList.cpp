#include "LineList.h"

#include <cstring>
#include <utility>

namespace zelvar {

std::string& LineList::own() {
    if (!text_ || text_.use_count() > 1) {
        auto copy = std::make_shared<std::string>();
        if (text_) *copy = *text_;
        text_ = std::move(copy);
    }
    return const_cast<std::string&>(*text_);
}

const std::string& LineList::text() const {
    static const std::string kEmpty;
    return text_ ? *text_ : kEmpty;
}

std::shared_ptr<const std::string> LineList::share() const {
    return text_ ? text_ : std::make_shared<std::string>();
}

LineList LineList::fromShared(std::shared_ptr<const std::string> text) {
    const std::string& all = *text;
    if (all.empty() || all.back() != '\n' || all.find('\r') != std::string::npos) {
        return fromText(all);
    }
    LineList lines;
    lines.ends_.reserve(all.size() / 40 + 1);
    for (std::size_t at = all.find('\n'); at != std::string::npos; at = all.find('\n', at + 1)) {
        lines.ends_.push_back(at);
    }
    lines.text_ = std::move(text);
    return lines;
}

void LineList::append(std::string_view line) {
    std::string& text = own();
    text.append(line);
    text.push_back('\n');
    ends_.push_back(text.size() - 1);
}

void LineList::clear() {
    // An own buffer keeps its room for the next lines; a shared one is left
    // to its other holders.
    if (text_.use_count() == 1) {
        own().clear();
    } else {
        text_.reset();
    }
    ends_.clear();
}

void LineList::reserve(std::size_t lines, std::size_t chars) {
    ends_.reserve(lines);
    own().reserve(chars);
}

std::string_view LineList::operator[](std::size_t index) const {
    const std::size_t begin = index == 0 ? 0 : ends_[index - 1] + 1;
    return std::string_view(text()).substr(begin, ends_[index] - begin);
}

std::string_view LineList::joined() const {
    if (text().empty()) return {};
    return std::string_view(text()).substr(0, text().size() - 1);
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
    lines.text_ = std::make_shared<std::string>(std::move(text));
    return lines;
}

}  // namespace zelvar
