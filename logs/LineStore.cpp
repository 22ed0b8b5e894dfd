#include "LineStore.h"

#include <algorithm>
#include <stdexcept>

namespace zelvar {

namespace {

// Large enough that a day's log is a few hundred chunks, small enough that
// copying one (after a snapshot, or for a keystroke) goes unnoticed.
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
// A chunk's line starts are 32 bits wide.
constexpr std::size_t kMaxChunkBytes = std::size_t{1} << 31;

qsizetype size(std::size_t n) { return static_cast<qsizetype>(n); }

template <typename Each>
void forEachLine(std::string_view joined, Each each) {
    std::size_t begin = 0;
    while (true) {
        const std::size_t end = joined.find('\n', begin);
        if (end == std::string_view::npos) {
            each(joined.substr(begin));
            return;
        }
        each(joined.substr(begin, end - begin));
        begin = end + 1;
    }
}

}  // namespace

std::size_t LineStore::chunkOf(std::size_t line) const {
    const auto after = std::upper_bound(firstLine_.begin(), firstLine_.end(), line);
    return static_cast<std::size_t>(after - firstLine_.begin()) - 1;
}

std::size_t LineStore::lineEnd(const Chunk& chunk, std::size_t index) const {
    const std::size_t next =
        index + 1 < chunk.starts.size() ? chunk.starts[index + 1] : std::size_t(chunk.bytes.size());
    return next - 2;
}

std::string_view LineStore::line(std::size_t index) const {
    const std::size_t c = chunkOf(index);
    const Chunk& chunk = chunks_[c];
    const std::size_t local = index - firstLine_[c];
    const std::size_t start = chunk.starts[local];
    return {chunk.bytes.constData() + start, lineEnd(chunk, local) - start};
}

void LineStore::appendLine(std::string_view text) {
    const std::size_t need = text.size() + 2;
    if (chunks_.empty() || std::size_t(chunks_.back().bytes.size()) + need > kChunkBytes) {
        if (need > kMaxChunkBytes) throw std::length_error("log line too long");
        Chunk chunk;
        chunk.bytes.reserve(size(std::max(need, kChunkBytes)));
        chunks_.push_back(std::move(chunk));
        firstLine_.push_back(lines_);
        firstByte_.push_back(bytes_);
    }
    Chunk& chunk = chunks_.back();
    chunk.starts.push_back(static_cast<std::uint32_t>(chunk.bytes.size()));
    chunk.bytes.append(text.data(), size(text.size()));
    chunk.bytes.append("\r\n", 2);
    ++lines_;
    bytes_ += need;
}

void LineStore::appendLines(std::string_view joined) {
    if (joined.empty() && empty()) return;
    forEachLine(joined, [this](std::string_view line) { appendLine(line); });
}

void LineStore::append(LineStore&& more) {
    for (Chunk& chunk : more.chunks_) {
        firstLine_.push_back(lines_);
        firstByte_.push_back(bytes_);
        lines_ += chunk.starts.size();
        bytes_ += std::size_t(chunk.bytes.size());
        chunks_.push_back(std::move(chunk));
    }
    more.clear();
}

void LineStore::removeLastLine() {
    if (empty()) return;
    Chunk& chunk = chunks_.back();
    const std::size_t start = chunk.starts.back();
    bytes_ -= std::size_t(chunk.bytes.size()) - start;
    chunk.bytes.truncate(size(start));
    chunk.starts.pop_back();
    --lines_;
    if (chunk.starts.empty()) {
        chunks_.pop_back();
        firstLine_.pop_back();
        firstByte_.pop_back();
    }
}

void LineStore::clear() {
    chunks_.clear();
    firstLine_.clear();
    firstByte_.clear();
    lines_ = 0;
    bytes_ = 0;
}

TextPos LineStore::endPos() const {
    if (empty()) return {};
    return {lines_ - 1, line(lines_ - 1).size()};
}

TextPos LineStore::clamp(TextPos pos) const {
    if (empty()) return {};
    if (pos.line >= lines_) return endPos();
    pos.column = std::min(pos.column, line(pos.line).size());
    return pos;
}

std::string LineStore::text(TextPos from, TextPos to) const {
    from = clamp(from);
    to = clamp(to);
    if (to < from) std::swap(from, to);
    std::string out;
    if (empty()) return out;
    out.reserve(offsetOf(to) - offsetOf(from));
    for (std::size_t index = from.line; index <= to.line; ++index) {
        std::string_view text = line(index);
        if (index == to.line) text = text.substr(0, to.column);
        if (index == from.line) text = text.substr(std::min(from.column, text.size()));
        if (index != from.line) out.push_back('\n');
        out.append(text);
    }
    return out;
}

TextPos LineStore::replace(TextPos from, TextPos to, std::string_view text) {
    from = clamp(from);
    to = clamp(to);
    if (to < from) std::swap(from, to);
    // The place after the new text.
    TextPos after = from;
    const std::size_t lastBreak = text.rfind('\n');
    if (lastBreak == std::string_view::npos) {
        after.column += text.size();
    } else {
        after.line += static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
        after.column = text.size() - lastBreak - 1;
    }
    if (empty()) {
        appendLines(text);
        return after;
    }

    // The chunks holding the lines from `from` to `to` become one.
    const std::size_t first = chunkOf(from.line);
    const std::size_t last = chunkOf(to.line);
    const Chunk& head = chunks_[first];
    const Chunk& tail = chunks_[last];
    const std::size_t headLocal = from.line - firstLine_[first];
    const std::size_t tailLocal = to.line - firstLine_[last];
    const std::size_t fromByte = head.starts[headLocal] + from.column;
    const std::size_t toByte = tail.starts[tailLocal] + to.column;

    Chunk merged;
    const std::size_t kept = fromByte + text.size() + 2 * (after.line - from.line) +
                             (std::size_t(tail.bytes.size()) - toByte);
    if (kept > kMaxChunkBytes) throw std::length_error("log edit too large");
    merged.bytes.reserve(size(std::max(kept, kChunkBytes)));
    merged.bytes.append(head.bytes.constData(), size(fromByte));
    merged.starts.assign(head.starts.begin(), head.starts.begin() + std::ptrdiff_t(headLocal + 1));
    bool firstPiece = true;
    forEachLine(text, [&merged, &firstPiece](std::string_view piece) {
        if (!firstPiece) merged.starts.push_back(static_cast<std::uint32_t>(merged.bytes.size()));
        firstPiece = false;
        merged.bytes.append(piece.data(), size(piece.size()));
        merged.bytes.append("\r\n", 2);
    });
    // The last new line goes on with the rest of the line `to` was in.
    merged.bytes.chop(2);
    const std::size_t shift = std::size_t(merged.bytes.size()) - toByte;
    merged.bytes.append(tail.bytes.constData() + toByte, tail.bytes.size() - size(toByte));
    for (std::size_t i = tailLocal + 1; i < tail.starts.size(); ++i) {
        merged.starts.push_back(static_cast<std::uint32_t>(tail.starts[i] + shift));
    }

    const auto at = chunks_.begin() + std::ptrdiff_t(first);
    chunks_.erase(at + 1, chunks_.begin() + std::ptrdiff_t(last + 1));
    firstLine_.erase(firstLine_.begin() + std::ptrdiff_t(first + 1),
                     firstLine_.begin() + std::ptrdiff_t(last + 1));
    firstByte_.erase(firstByte_.begin() + std::ptrdiff_t(first + 1),
                     firstByte_.begin() + std::ptrdiff_t(last + 1));
    *at = std::move(merged);
    recount(first);
    // Everything deleted: the view is empty again, as it was before the first line.
    if (lines_ == 1 && bytes_ == 2) clear();
    return after;
}

void LineStore::recount(std::size_t fromChunk) {
    std::size_t lines = firstLine_[fromChunk];
    std::size_t bytes = firstByte_[fromChunk];
    for (std::size_t c = fromChunk; c < chunks_.size(); ++c) {
        firstLine_[c] = lines;
        firstByte_[c] = bytes;
        lines += chunks_[c].starts.size();
        bytes += std::size_t(chunks_[c].bytes.size());
    }
    lines_ = lines;
    bytes_ = bytes;
}

std::size_t LineStore::offsetOf(TextPos pos) const {
    pos = clamp(pos);
    if (empty()) return 0;
    const std::size_t c = chunkOf(pos.line);
    const std::size_t local = pos.line - firstLine_[c];
    // Each line before it ends in two bytes here and in one when LF-joined.
    return firstByte_[c] + chunks_[c].starts[local] - pos.line + pos.column;
}

TextPos LineStore::posAt(std::size_t offset) const {
    if (empty()) return {};
    // The LF-joined offset of each chunk's first line rises with the chunks.
    std::size_t lo = 0;
    std::size_t hi = chunks_.size();
    while (hi - lo > 1) {
        const std::size_t mid = (lo + hi) / 2;
        if (firstByte_[mid] - firstLine_[mid] <= offset) lo = mid; else hi = mid;
    }
    const Chunk& chunk = chunks_[lo];
    const std::size_t inChunk = offset - (firstByte_[lo] - firstLine_[lo]);
    std::size_t a = 0;
    std::size_t b = chunk.starts.size();
    while (b - a > 1) {
        const std::size_t mid = (a + b) / 2;
        if (chunk.starts[mid] - mid <= inChunk) a = mid; else b = mid;
    }
    return clamp({firstLine_[lo] + a, inChunk - (chunk.starts[a] - a)});
}

LogBytes LineStore::snapshot() const {
    LogBytes pieces;
    pieces.reserve(size(chunks_.size()));
    for (const Chunk& chunk : chunks_) pieces.append(chunk.bytes);
    return pieces;
}

}  // namespace zelvar
