#include "InputLineList.h"

#include <cstring>

namespace zelvar {

void InputLineList::append(std::string_view line) {
    text_.append(line);
    text_.push_back('\n');
    ++lines_;
    if (!line.empty()) ++nonBlank_;
}

void InputLineList::clear() {
    std::string().swap(text_);
    lines_ = 0;
    nonBlank_ = 0;
}

bool InputLineList::Reader::next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    const auto* lf =
        static_cast<const char*>(std::memchr(text_.data() + pos_, '\n', text_.size() - pos_));
    const auto end = static_cast<std::size_t>(lf - text_.data());
    line = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    return true;
}

}  // namespace zelvar
