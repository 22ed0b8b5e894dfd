#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "RichText.h"

namespace zelvar {

// A stretch of characters that carries marks other than the plain ones.
struct MarkSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
    Marks marks;
    friend bool operator==(const MarkSpan&, const MarkSpan&) = default;
};

// A text that whoever holds it may read on any thread: it never changes.
// Each is made as a std::string (std::make_shared<std::string>), so that its
// only holder may change it in place.
using SharedText = std::shared_ptr<const std::string>;

// UTF-16 as UTF-8; a lone surrogate becomes U+FFFD, one unit as well.
std::string Utf8Of(std::u16string_view text);
// Appends valid UTF-8 as UTF-16.
void AppendUtf16(std::u16string& out, std::string_view utf8);
bool IsUtf8(std::string_view text);
// The code point of valid UTF-8 at `at`, which moves past it.
char32_t NextCodePoint(std::string_view utf8, std::size_t& at);

// The editor's document: its text as UTF-8 with '\n' between lines, in a
// buffer it shares with those who read it (the line commands, the undo
// history, the lines "Return to the Old Values..." shows) and copies at its
// first change while shared; the start of every line in UTF-16 units, the
// positions the window counts in, and in bytes; and the marks as a sparse,
// sorted list of spans. A day's log costs its text once, a byte a character,
// and two words a line; marking all of it costs one span. Every change can
// be undone and redone.
class EditorText {
public:
    EditorText();

    // A new document; nothing to undo.
    void assign(RichText text);
    // A new plain document of UTF-8 text, without copying it (bytes that
    // are not UTF-8 become U+FFFD in a copy).
    void assignUtf8(SharedText text);
    RichText richText() const;
    // The runs of marks that cover the text from start to end, as
    // richText() gives them, without its copy of the text.
    std::vector<MarkRun> markRuns() const;

    // The whole text as UTF-8, and a share of it that stays as it is
    // whatever the document does later.
    std::string_view utf8() const { return text_ ? std::string_view(*text_) : std::string_view(); }
    SharedText share() const;

    // In UTF-16 units.
    std::size_t size() const { return units_; }
    bool empty() const { return units_ == 0; }
    // The text of [from, to), decoded, and its bytes.
    std::u16string slice(std::size_t from, std::size_t to) const;
    std::string_view utf8Slice(std::size_t from, std::size_t to) const;
    // The unit at `position` (< size()).
    char16_t at(std::size_t position) const;

    // There is always a line, if empty; a '\n' at the very end starts one more.
    std::size_t lineCount() const { return starts_.size(); }
    std::size_t lineStart(std::size_t line) const { return starts_[line]; }
    // Where the line's text ends, before its '\n'.
    std::size_t lineEnd(std::size_t line) const;
    std::u16string line(std::size_t line) const;
    std::size_t lineOf(std::size_t position) const;

    // The marks of the character at `position` (plain past the end).
    Marks marksAt(std::size_t position) const;
    // The marked spans meeting [from, to), cut to it.
    std::vector<MarkSpan> spansIn(std::size_t from, std::size_t to) const;
    std::size_t spanCount() const { return spans_.size(); }

    // Replaces [from, to) with `with`, all of it carrying `marks`. A typed
    // insertion right after the previous typed text is undone with it.
    void replace(std::size_t from, std::size_t to, std::u16string_view with, Marks marks,
                 bool typing = false);
    // Gives every character of [from, to) the marks `change` makes of its own.
    void restyle(std::size_t from, std::size_t to, const std::function<Marks(Marks)>& change);

    // A command's result replaces the whole document, as one step to undo
    // named `command`; the text from before moves into it, uncopied. With
    // `join` the document becomes `next` inside the newest command step,
    // which keeps its text from before: a command that empties the area
    // before showing its result is still one step. The history keeps at
    // most kCommandSteps such steps and, past the newest, no more text than
    // twice the document's; the oldest go first, with the edits before them.
    void replaceAll(EditorText next, std::string command, bool join = false);
    static constexpr std::size_t kCommandSteps = 8;

    // What an undo or redo changed: the stretch now at [from, from + length).
    struct Change {
        std::size_t from = 0;
        std::size_t length = 0;
    };
    std::optional<Change> undo();
    std::optional<Change> redo();
    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    // The command the next undo or redo takes back or makes again; empty for
    // typing, edits and marks.
    std::string_view undoName() const { return lastCommand(undo_); }
    std::string_view redoName() const { return lastCommand(redo_); }

private:
    // A whole document, held by a command's step.
    struct Whole {
        std::shared_ptr<std::string> text;
        std::size_t units = 0;
        std::vector<std::size_t> starts;
        std::vector<std::size_t> byteStarts;
        std::vector<MarkSpan> spans;
    };
    // A change to make: the stretch [from, from + length) gets `content`
    // (text steps) and the marks `spans`, counted from `from`; or, for a
    // command, the document becomes `whole`.
    struct Step {
        std::size_t from = 0;
        std::size_t length = 0;
        bool text = false;
        std::u16string content;
        std::vector<MarkSpan> spans;
        bool typing = false;
        std::unique_ptr<Whole> whole;
        std::string command;
    };
    static std::string_view lastCommand(const std::vector<Step>& steps) {
        return steps.empty() ? std::string_view() : std::string_view(steps.back().command);
    }
    // Makes the step and gives the one that takes it back.
    Step apply(Step step);
    // The document moves into `into` and becomes `from`.
    void exchange(Whole& from, Whole& into);
    void dropOldCommands();
    // Takes the last step of `from` back, keeping its reverse on `onto`.
    std::optional<Change> replay(std::vector<Step>& from, std::vector<Step>& onto);
    void spliceText(std::size_t from, std::size_t to, std::u16string_view with);
    // Where the character at a UTF-16 position begins in the UTF-8 text.
    std::size_t byteOf(std::size_t position) const;
    // The line starts and the length of valid UTF-8 text; false when it is not.
    bool index();
    // The text to change in place: a copy of it first while it is shared.
    std::string& own();
    // Replaces the spans of [from, to) with `relative` over the new length.
    void spliceSpans(std::size_t from, std::size_t to, std::size_t length,
                     const std::vector<MarkSpan>& relative);
    // Splits the span across `position`; gives the first span at or after it.
    std::size_t cut(std::size_t position);
    void mergeAround(std::size_t index);
    void record(Step undo, bool typing);

    std::shared_ptr<std::string> text_;
    std::size_t units_ = 0;
    std::vector<std::size_t> starts_;
    std::vector<std::size_t> byteStarts_;
    std::vector<MarkSpan> spans_;
    std::vector<Step> undo_;
    std::vector<Step> redo_;
    // The last change was typed: more typing right after it joins its step.
    bool typingGoesOn_ = false;
};

}  // namespace zelvar
