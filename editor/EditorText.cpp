#include "EditorText.h"

#include <algorithm>

namespace zelvar {

namespace {

bool plain(const Marks& marks) {
    return marks == Marks{};
}

}  // namespace

EditorText::EditorText() : starts_{0} {}

void EditorText::assign(RichText text) {
    text_ = std::move(text.text);
    // Texts read from files come with their room; others get it here.
    const std::size_t wanted = EditingCapacity(text_.size());
    if (text_.capacity() - text_.size() < (wanted - text_.size()) / 2) text_.reserve(wanted);
    starts_.assign(1, 0);
    for (std::size_t at = text_.find(u'\n'); at != std::u16string::npos;
         at = text_.find(u'\n', at + 1)) {
        starts_.push_back(at + 1);
    }
    spans_.clear();
    std::size_t at = 0;
    for (const MarkRun& run : text.runs) {
        const std::size_t end = std::min(at + run.length, text_.size());
        if (!plain(run.marks) && end > at) spans_.push_back({at, end, run.marks});
        at = end;
    }
    undo_.clear();
    redo_.clear();
    typingGoesOn_ = false;
}

RichText EditorText::richText() const {
    RichText out;
    out.text.reserve(text_.size());
    std::size_t at = 0;
    const std::u16string_view all = text_;
    for (const MarkSpan& span : spans_) {
        out.append(all.substr(at, span.begin - at), {});
        out.append(all.substr(span.begin, span.end - span.begin), span.marks);
        at = span.end;
    }
    out.append(all.substr(at), {});
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
    add(text_.size() - at, {});
    return runs;
}

std::size_t EditorText::lineEnd(std::size_t line) const {
    return line + 1 < starts_.size() ? starts_[line + 1] - 1 : text_.size();
}

std::u16string_view EditorText::line(std::size_t line) const {
    const std::size_t start = starts_[line];
    return std::u16string_view(text_).substr(start, lineEnd(line) - start);
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
    Whole incoming{std::move(next.text_), std::move(next.starts_), std::move(next.spans_)};
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
    for (const Step& step : undo_) {
        if (step.whole) ++commands;
        held += step.whole ? step.whole->text.size() : step.content.size();
    }
    while (commands > 1 && (commands > kCommandSteps || held > 2 * text_.size())) {
        // The edits before a command's step make sense only on its text.
        auto oldest = undo_.begin();
        for (; !oldest->whole; ++oldest) held -= oldest->content.size();
        held -= oldest->whole->text.size();
        --commands;
        undo_.erase(undo_.begin(), oldest + 1);
    }
}

void EditorText::exchange(Whole& from, Whole& into) {
    into.text = std::move(text_);
    into.starts = std::move(starts_);
    into.spans = std::move(spans_);
    text_ = std::move(from.text);
    starts_ = std::move(from.starts);
    spans_ = std::move(from.spans);
    if (starts_.empty()) starts_.assign(1, 0);
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
        back.content.assign(text_, step.from, step.length);
        spliceText(step.from, to, step.content);
    }
    spliceSpans(step.from, to, back.length, step.spans);
    return back;
}

void EditorText::spliceText(std::size_t from, std::size_t to, std::u16string_view with) {
    const std::size_t removed = to - from;
    if (with.size() > removed && text_.size() + with.size() - removed > text_.capacity()) {
        text_.reserve(EditingCapacity(text_.size() + with.size() - removed));
    }
    text_.replace(from, removed, with);

    // Lines that began inside the removed stretch go; those after it move;
    // every '\n' put in starts one.
    const auto first = std::upper_bound(starts_.begin(), starts_.end(), from);
    const auto last = std::upper_bound(first, starts_.end(), to);
    const std::size_t keptAfter = static_cast<std::size_t>(last - starts_.begin());
    for (auto it = starts_.begin() + static_cast<std::ptrdiff_t>(keptAfter); it != starts_.end();
         ++it) {
        *it = *it - removed + with.size();
    }
    std::vector<std::size_t> added;
    for (std::size_t at = with.find(u'\n'); at != std::u16string_view::npos;
         at = with.find(u'\n', at + 1)) {
        added.push_back(from + at + 1);
    }
    const auto at = starts_.erase(first, last);
    starts_.insert(at, added.begin(), added.end());
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
