#include "EditorText.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace zelvar {

namespace {

bool plain(const Marks& marks) {
    return marks == Marks{};
}

void appendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

bool continuation(unsigned byte) {
    return (byte & 0xC0) == 0x80;
}

// The length of the valid UTF-8 character at `at`, or 0.
std::size_t characterBytes(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) -> unsigned {
        return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0u;
    };
    const unsigned lead = byte(0);
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return continuation(byte(1)) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        // No overlong forms, no surrogates.
        const unsigned low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned high = lead == 0xED ? 0x9F : 0xBF;
        return byte(1) >= low && byte(1) <= high && continuation(byte(2)) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned high = lead == 0xF4 ? 0x8F : 0xBF;
        return byte(1) >= low && byte(1) <= high && continuation(byte(2)) && continuation(byte(3))
                   ? 4
                   : 0;
    }
    return 0;
}

bool ascii(std::string_view text) {
    std::size_t at = 0;
    // Eight bytes at a time: a day's log is ASCII, and this runs over all of it.
    for (; at + 8 <= text.size(); at += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + at, 8);
        if (word & 0x8080808080808080u) return false;
    }
    for (; at < text.size(); ++at) {
        if (static_cast<unsigned char>(text[at]) >= 0x80) return false;
    }
    return true;
}

// The UTF-16 units of a line, or npos when it is not valid UTF-8.
constexpr std::size_t kInvalid = std::string_view::npos;
std::size_t unitsOf(std::string_view line) {
    if (ascii(line)) return line.size();
    std::size_t units = 0;
    for (std::size_t at = 0; at < line.size();) {
        const std::size_t bytes = characterBytes(line, at);
        if (bytes == 0) return kInvalid;
        units += bytes == 4 ? 2 : 1;
        at += bytes;
    }
    return units;
}

// Every byte that does not begin a valid character becomes U+FFFD.
std::string validUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t bytes = characterBytes(text, at);
        if (bytes == 0) {
            appendUtf8(out, 0xFFFD);
            ++at;
        } else {
            out.append(text, at, bytes);
            at += bytes;
        }
    }
    return out;
}

}  // namespace

std::string Utf8Of(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        // ASCII in runs, as a day's log is written: a unit a byte.
        std::size_t end = at;
        while (end < text.size() && text[end] < 0x80) ++end;
        if (end > at) {
            const std::size_t from = out.size();
            out.resize(from + (end - at));
            for (std::size_t i = at; i < end; ++i)
                out[from + (i - at)] = static_cast<char>(text[i]);
            at = end;
            if (at == text.size()) break;
        }
        char32_t code = text[at];
        if (code >= 0xD800 && code <= 0xDBFF && at + 1 < text.size() && text[at + 1] >= 0xDC00 &&
            text[at + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++at] - 0xDC00);
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD;
        }
        appendUtf8(out, code);
    }
    return out;
}

bool IsUtf8(std::string_view text) {
    return unitsOf(text) != kInvalid;
}

char32_t NextCodePoint(std::string_view utf8, std::size_t& at) {
    const auto byte = [&](std::size_t i) {
        return static_cast<char32_t>(static_cast<unsigned char>(utf8[at + i]));
    };
    const char32_t lead = byte(0);
    char32_t code = lead;
    std::size_t bytes = 1;
    if (lead >= 0xF0) {
        code = ((lead & 0x07) << 18) | ((byte(1) & 0x3F) << 12) | ((byte(2) & 0x3F) << 6) |
               (byte(3) & 0x3F);
        bytes = 4;
    } else if (lead >= 0xE0) {
        code = ((lead & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
        bytes = 3;
    } else if (lead >= 0xC0) {
        code = ((lead & 0x1F) << 6) | (byte(1) & 0x3F);
        bytes = 2;
    }
    at += bytes;
    return code;
}

void AppendUtf16(std::u16string& out, std::string_view utf8) {
    if (ascii(utf8)) {
        out.append(utf8.begin(), utf8.end());
        return;
    }
    for (std::size_t at = 0; at < utf8.size();) {
        const char32_t code = NextCodePoint(utf8, at);
        if (code >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
    }
}

EditorText::EditorText() : starts_{0}, byteStarts_{0} {}

void EditorText::assign(RichText text) {
    auto utf8 = std::make_shared<std::string>(Utf8Of(text.text));
    text.text = {};
    text_ = std::move(utf8);
    index();
    spans_.clear();
    std::size_t at = 0;
    for (const MarkRun& run : text.runs) {
        const std::size_t end = std::min(at + run.length, units_);
        if (!plain(run.marks) && end > at) spans_.push_back({at, end, run.marks});
        at = end;
    }
    undo_.clear();
    redo_.clear();
    typingGoesOn_ = false;
}

void EditorText::assignUtf8(SharedText text) {
    // Every shared text is made as a std::string, to change in place once
    // it is no longer shared.
    text_ = std::const_pointer_cast<std::string>(std::move(text));
    if (!index()) {
        text_ = std::make_shared<std::string>(validUtf8(utf8()));
        index();
    }
    spans_.clear();
    undo_.clear();
    redo_.clear();
    typingGoesOn_ = false;
}

bool EditorText::index() {
    const std::string_view all = utf8();
    starts_.assign(1, 0);
    byteStarts_.assign(1, 0);
    units_ = 0;
    for (std::size_t at = 0;;) {
        const void* found =
            all.empty() ? nullptr : std::memchr(all.data() + at, '\n', all.size() - at);
        const std::size_t end =
            found ? static_cast<std::size_t>(static_cast<const char*>(found) - all.data())
                  : all.size();
        const std::size_t units = unitsOf(all.substr(at, end - at));
        if (units == kInvalid) return false;
        units_ += units;
        if (!found) return true;
        ++units_;
        at = end + 1;
        starts_.push_back(units_);
        byteStarts_.push_back(at);
    }
}

SharedText EditorText::share() const {
    return text_ ? text_ : std::make_shared<std::string>();
}

std::string& EditorText::own() {
    if (!text_) {
        text_ = std::make_shared<std::string>();
    } else if (text_.use_count() > 1) {
        auto copy = std::make_shared<std::string>();
        copy->reserve(EditingCapacity(text_->size()));
        copy->append(*text_);
        text_ = std::move(copy);
    }
    return *text_;
}

RichText EditorText::richText() const {
    RichText out;
    out.text.reserve(units_);
    std::size_t at = 0;
    for (const MarkSpan& span : spans_) {
        out.append(slice(at, span.begin), {});
        out.append(slice(span.begin, span.end), span.marks);
        at = span.end;
    }
    out.append(slice(at, units_), {});
    return out;
}

std::vector<MarkRun> EditorText::markRuns() const {
    std::vector<MarkRun> runs;
    const auto add = [&runs](std::size_t length, Marks marks) {
        if (length == 0) return;
        if (!runs.empty() && runs.back().marks == marks) {
            runs.back().length += length;
        } else {
            runs.push_back({length, marks});
        }
    };
    std::size_t at = 0;
    for (const MarkSpan& span : spans_) {
        add(span.begin - at, {});
        add(span.end - span.begin, span.marks);
        at = span.end;
    }
    add(units_ - at, {});
    return runs;
}

std::size_t EditorText::byteOf(std::size_t position) const {
    const std::size_t line = lineOf(position);
    const std::size_t next = line + 1 < starts_.size() ? starts_[line + 1] : units_;
    const std::size_t nextByte =
        line + 1 < byteStarts_.size() ? byteStarts_[line + 1] : utf8().size();
    std::size_t at = byteStarts_[line];
    // A line of one-byte characters, as a log's are, counts the same in both.
    if (nextByte - at == next - starts_[line]) return at + (position - starts_[line]);
    const std::string_view all = utf8();
    for (std::size_t units = starts_[line]; units < position && at < all.size();) {
        const std::size_t bytes = characterBytes(all, at);
        units += bytes == 4 ? 2 : 1;
        at += bytes;
    }
    return at;
}

std::u16string EditorText::slice(std::size_t from, std::size_t to) const {
    std::u16string out;
    if (from >= to) return out;
    out.reserve(to - from);
    AppendUtf16(out, utf8Slice(from, to));
    return out;
}

std::string_view EditorText::utf8Slice(std::size_t from, std::size_t to) const {
    const std::size_t begin = byteOf(from);
    return utf8().substr(begin, byteOf(to) - begin);
}

char16_t EditorText::at(std::size_t position) const {
    const std::string_view all = utf8();
    const std::size_t byte = byteOf(position);
    if (byte < all.size() && static_cast<unsigned char>(all[byte]) < 0x80)
        return static_cast<char16_t>(all[byte]);
    const std::u16string unit = slice(position, position + 1);
    return unit.empty() ? u'\0' : unit.front();
}

std::size_t EditorText::lineEnd(std::size_t line) const {
    return line + 1 < starts_.size() ? starts_[line + 1] - 1 : units_;
}

std::u16string EditorText::line(std::size_t line) const {
    const std::size_t end =
        line + 1 < byteStarts_.size() ? byteStarts_[line + 1] - 1 : utf8().size();
    std::u16string out;
    out.reserve(end - byteStarts_[line]);
    AppendUtf16(out, utf8().substr(byteStarts_[line], end - byteStarts_[line]));
    return out;
}

std::size_t EditorText::lineOf(std::size_t position) const {
    const auto after = std::upper_bound(starts_.begin(), starts_.end(), position);
    return static_cast<std::size_t>(after - starts_.begin()) - 1;
}

Marks EditorText::marksAt(std::size_t position) const {
    const auto span = std::upper_bound(
        spans_.begin(), spans_.end(), position,
        [](std::size_t at, const MarkSpan& s) { return at < s.end; });
    return span != spans_.end() && span->begin <= position ? span->marks : Marks{};
}

std::vector<MarkSpan> EditorText::spansIn(std::size_t from, std::size_t to) const {
    std::vector<MarkSpan> out;
    auto span = std::upper_bound(spans_.begin(), spans_.end(), from,
                                 [](std::size_t at, const MarkSpan& s) { return at < s.end; });
    for (; span != spans_.end() && span->begin < to; ++span) {
        out.push_back({std::max(span->begin, from), std::min(span->end, to), span->marks});
    }
    return out;
}

void EditorText::replace(std::size_t from, std::size_t to, std::u16string_view with, Marks marks,
                         bool typing) {
    Step step{from, to - from, true, std::u16string(with), {}, false, {}, {}};
    if (!with.empty() && !plain(marks)) step.spans.push_back({0, with.size(), marks});
    Step back = apply(std::move(step));
    // Typed characters one after another are one step back, with the
    // selection the first of them replaced.
    if (typing && to == from && !undo_.empty() && undo_.back().typing &&
        undo_.back().from + undo_.back().length == from && typingGoesOn_) {
        undo_.back().length += with.size();
        redo_.clear();
        return;
    }
    record(std::move(back), typing);
}

void EditorText::restyle(std::size_t from, std::size_t to,
                         const std::function<Marks(Marks)>& change) {
    if (from >= to) return;
    Step step{from, to - from, false, {}, {}, false, {}, {}};
    std::size_t at = from;
    const auto add = [&step, from](std::size_t begin, std::size_t end, Marks marks) {
        if (begin >= end || plain(marks)) return;
        std::vector<MarkSpan>& out = step.spans;
        if (!out.empty() && out.back().end == begin - from && out.back().marks == marks) {
            out.back().end = end - from;
        } else {
            out.push_back({begin - from, end - from, marks});
        }
    };
    for (const MarkSpan& span : spansIn(from, to)) {
        add(at, span.begin, change(Marks{}));
        add(span.begin, span.end, change(span.marks));
        at = span.end;
    }
    add(at, to, change(Marks{}));
    record(apply(std::move(step)), false);
}

void EditorText::replaceAll(EditorText next, std::string command, bool join) {
    Whole incoming{std::move(next.text_), next.units_, std::move(next.starts_),
                   std::move(next.byteStarts_), std::move(next.spans_)};
    if (join && !undo_.empty() && undo_.back().whole) {
        Whole replaced;
        exchange(incoming, replaced);
        redo_.clear();
        typingGoesOn_ = false;
    } else {
        Step step;
        step.whole = std::make_unique<Whole>(std::move(incoming));
        step.command = std::move(command);
        record(apply(std::move(step)), false);
    }
    dropOldCommands();
}

void EditorText::record(Step undo, bool typing) {
    undo.typing = typing;
    typingGoesOn_ = typing;
    undo_.push_back(std::move(undo));
    redo_.clear();
}

void EditorText::dropOldCommands() {
    std::size_t commands = 0;
    std::size_t held = 0;
    const auto bytes = [](const Step& step) {
        return step.whole ? (step.whole->text ? step.whole->text->size() : 0) : step.content.size();
    };
    for (const Step& step : undo_) {
        if (step.whole) ++commands;
        held += bytes(step);
    }
    while (commands > 1 && (commands > kCommandSteps || held > 2 * utf8().size())) {
        // The edits before a command's step make sense only on its text.
        auto oldest = undo_.begin();
        for (; !oldest->whole; ++oldest) held -= bytes(*oldest);
        held -= bytes(*oldest);
        --commands;
        undo_.erase(undo_.begin(), oldest + 1);
    }
}

void EditorText::exchange(Whole& from, Whole& into) {
    into.text = std::move(text_);
    into.units = units_;
    into.starts = std::move(starts_);
    into.byteStarts = std::move(byteStarts_);
    into.spans = std::move(spans_);
    text_ = std::move(from.text);
    units_ = from.units;
    starts_ = std::move(from.starts);
    byteStarts_ = std::move(from.byteStarts);
    spans_ = std::move(from.spans);
    if (starts_.empty()) {
        starts_.assign(1, 0);
        byteStarts_.assign(1, 0);
    }
}

std::optional<EditorText::Change> EditorText::undo() {
    return replay(undo_, redo_);
}

std::optional<EditorText::Change> EditorText::redo() {
    return replay(redo_, undo_);
}

std::optional<EditorText::Change> EditorText::replay(std::vector<Step>& from,
                                                     std::vector<Step>& onto) {
    if (from.empty()) return std::nullopt;
    typingGoesOn_ = false;
    Step step = std::move(from.back());
    from.pop_back();
    // A whole document comes back at its start.
    const Change change{step.from, step.whole ? 0 : step.text ? step.content.size() : step.length};
    onto.push_back(apply(std::move(step)));
    return change;
}

EditorText::Step EditorText::apply(Step step) {
    if (step.whole) {
        Step back;
        back.whole = std::make_unique<Whole>();
        back.command = std::move(step.command);
        exchange(*step.whole, *back.whole);
        return back;
    }
    const std::size_t to = step.from + step.length;
    Step back{
        step.from, step.text ? step.content.size() : step.length, step.text, {}, {}, false, {}, {}};
    for (MarkSpan span : spansIn(step.from, to)) {
        span.begin -= step.from;
        span.end -= step.from;
        back.spans.push_back(span);
    }
    if (step.text) {
        back.content = slice(step.from, to);
        spliceText(step.from, to, step.content);
    }
    spliceSpans(step.from, to, back.length, step.spans);
    return back;
}

void EditorText::spliceText(std::size_t from, std::size_t to, std::u16string_view with) {
    const std::string added = Utf8Of(with);
    const std::size_t begin = byteOf(from);
    const std::size_t removed = byteOf(to) - begin;
    std::string& text = own();
    if (added.size() > removed && text.size() + added.size() - removed > text.capacity()) {
        text.reserve(EditingCapacity(text.size() + added.size() - removed));
    }
    text.replace(begin, removed, added);
    units_ = units_ - (to - from) + with.size();

    // Lines that began inside the removed stretch go; those after it move;
    // every '\n' put in starts one.
    const auto first = static_cast<std::size_t>(
        std::upper_bound(starts_.begin(), starts_.end(), from) - starts_.begin());
    const auto last = static_cast<std::size_t>(
        std::upper_bound(starts_.begin() + static_cast<std::ptrdiff_t>(first), starts_.end(), to) -
        starts_.begin());
    for (std::size_t i = last; i < starts_.size(); ++i) {
        starts_[i] = starts_[i] - (to - from) + with.size();
        byteStarts_[i] = byteStarts_[i] - removed + added.size();
    }
    std::vector<std::size_t> newStarts;
    std::vector<std::size_t> newBytes;
    for (std::size_t at = with.find(u'\n'); at != std::u16string_view::npos;
         at = with.find(u'\n', at + 1)) {
        newStarts.push_back(from + at + 1);
    }
    for (std::size_t at = added.find('\n'); at != std::string::npos;
         at = added.find('\n', at + 1)) {
        newBytes.push_back(begin + at + 1);
    }
    const auto splice = [first, last](std::vector<std::size_t>& starts,
                                      const std::vector<std::size_t>& put) {
        const auto at = starts.erase(starts.begin() + static_cast<std::ptrdiff_t>(first),
                                     starts.begin() + static_cast<std::ptrdiff_t>(last));
        starts.insert(at, put.begin(), put.end());
    };
    splice(starts_, newStarts);
    splice(byteStarts_, newBytes);
}

std::size_t EditorText::cut(std::size_t position) {
    auto span = std::upper_bound(spans_.begin(), spans_.end(), position,
                                 [](std::size_t at, const MarkSpan& s) { return at < s.end; });
    if (span != spans_.end() && span->begin < position) {
        MarkSpan right = *span;
        right.begin = position;
        span->end = position;
        span = spans_.insert(span + 1, right);
    }
    return static_cast<std::size_t>(span - spans_.begin());
}

void EditorText::spliceSpans(std::size_t from, std::size_t to, std::size_t length,
                             const std::vector<MarkSpan>& relative) {
    const std::size_t first = cut(from);
    const std::size_t last = cut(to);
    for (std::size_t i = last; i < spans_.size(); ++i) {
        spans_[i].begin = spans_[i].begin - (to - from) + length;
        spans_[i].end = spans_[i].end - (to - from) + length;
    }
    const auto at = spans_.erase(spans_.begin() + static_cast<std::ptrdiff_t>(first),
                                 spans_.begin() + static_cast<std::ptrdiff_t>(last));
    std::vector<MarkSpan> placed;
    placed.reserve(relative.size());
    for (const MarkSpan& span : relative) {
        placed.push_back({span.begin + from, span.end + from, span.marks});
    }
    spans_.insert(at, placed.begin(), placed.end());
    // Neighbours with the same marks become one span again.
    mergeAround(first + placed.size());
    mergeAround(first);
}

void EditorText::mergeAround(std::size_t index) {
    if (index == 0 || index >= spans_.size()) return;
    MarkSpan& before = spans_[index - 1];
    const MarkSpan& after = spans_[index];
    if (before.end == after.begin && before.marks == after.marks) {
        before.end = after.end;
        spans_.erase(spans_.begin() + static_cast<std::ptrdiff_t>(index));
    }
}

}  // namespace zelvar
