#include "InputLineList.h"

#include <cstring>
#include <utility>

namespace zelvar {

void InputLineList::append(std::string_view line) {
    if (shared_) {
        text_ = *shared_;
        shared_.reset();
    }
    text_.append(line);
    text_.push_back('\n');
    ++lines_;
    if (!line.empty()) ++nonBlank_;
}

void InputLineList::share(std::shared_ptr<const std::string> lines) {
    clear();
    shared_ = std::move(lines);
    if (!shared_->empty() && shared_->back() != '\n') {
        text_ = *shared_ + '\n';
        shared_.reset();
    }
    const std::string& all = text();
    for (std::size_t at = 0; at < all.size();) {
        const std::size_t end = all.find('\n', at);
        ++lines_;
        if (end != at) ++nonBlank_;
        at = end + 1;
    }
}

void InputLineList::clear() {
    std::string().swap(text_);
    shared_.reset();
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
