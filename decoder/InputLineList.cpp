#include "InputLineList.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace zelvar {

namespace {

// Small enough that a read block soon gives its memory back, large enough
// that a day's log is a few hundred blocks.
constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

}  // namespace

void InputLineList::append(std::string_view line) {
    if (shared_) {
        blocks_.assign(1, std::string(*shared_));
        shared_.reset();
    }
    const std::size_t need = line.size() + 1;
    if (blocks_.empty() || blocks_.back().size() + need > blocks_.back().capacity()) {
        // A line never spans two blocks; what the caller reserved is handed
        // out block by block, so the blocks come to no more than that.
        const std::size_t room = reserved_ >= need ? std::min(reserved_, kBlockBytes) : kBlockBytes;
        blocks_.emplace_back().reserve(std::max(room, need));
        reserved_ -= std::min(reserved_, blocks_.back().capacity());
    }
    std::string& text = blocks_.back();
    text.append(line);
    text.push_back('\n');
    ++lines_;
    if (!line.empty()) ++nonBlank_;
    bytes_ += need;
}

void InputLineList::share(std::shared_ptr<const std::string> lines) {
    clear();
    if (!lines->empty() && lines->back() != '\n') {
        blocks_.assign(1, *lines + '\n');
    } else {
        shared_ = std::move(lines);
    }
    const std::string_view all = block(0);
    for (std::size_t at = 0; at < all.size();) {
        const std::size_t end = all.find('\n', at);
        ++lines_;
        if (end != at) ++nonBlank_;
        at = end + 1;
    }
    bytes_ = all.size();
}

void InputLineList::clear() {
    std::vector<std::string>().swap(blocks_);
    shared_.reset();
    reserved_ = 0;
    lines_ = 0;
    nonBlank_ = 0;
    bytes_ = 0;
}

std::size_t InputLineList::capacity() const {
    if (shared_) return shared_->capacity();
    std::size_t sum = 0;
    for (const std::string& text : blocks_) sum += text.capacity();
    return sum;
}

InputLineList::Reader InputLineList::Reader::releasing(InputLineList& list) {
    Reader reader(list);
    reader.owner_ = &list;
    return reader;
}

bool InputLineList::Reader::next(std::string_view& line) {
    while (pos_ >= text_.size()) {
        // The line given last lay in the block read so far; the caller is
        // done with it.
        if (owner_ && !owner_->shared_ && block_ > 0) {
            std::string().swap(owner_->blocks_[block_ - 1]);
            text_ = {};
        }
        if (block_ >= list_.blockCount()) return false;
        text_ = list_.block(block_++);
        pos_ = 0;
    }
    const auto* lf =
        static_cast<const char*>(std::memchr(text_.data() + pos_, '\n', text_.size() - pos_));
    const auto end = static_cast<std::size_t>(lf - text_.data());
    line = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    return true;
}

}  // namespace zelvar
