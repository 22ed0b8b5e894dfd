// The editor's document against a plain model (a string and the marks of
// each character): random edits, marks, undos and redos must leave both the
// same, with line starts and spans that agree.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "EditorText.h"

namespace zelvar {
namespace {

struct Model {
    std::u16string text;
    std::vector<Marks> marks;

    RichText rich() const {
        RichText out;
        for (std::size_t i = 0; i < text.size(); ++i) out.append(text[i], marks[i]);
        return out;
    }
};

void expectSame(const EditorText& document, const Model& model) {
    ASSERT_EQ(document.richText(), model.rich());
    ASSERT_EQ(document.markRuns(), model.rich().runs);
    std::size_t line = 0;
    for (std::size_t at = 0; at <= model.text.size(); ++at) {
        ASSERT_EQ(document.lineOf(at), line) << at;
        if (at < model.text.size()) {
            ASSERT_EQ(document.marksAt(at), model.marks[at]) << at;
            if (model.text[at] == u'\n') {
                ASSERT_EQ(document.lineEnd(line), at);
                ++line;
                ASSERT_EQ(document.lineStart(line), at + 1);
            }
        }
    }
    ASSERT_EQ(document.lineCount(), line + 1);
    // Spans are sorted, apart and never plain; neighbours differ.
    const std::vector<MarkSpan> spans = document.spansIn(0, model.text.size());
    ASSERT_EQ(spans.size(), document.spanCount());
    for (std::size_t i = 0; i < spans.size(); ++i) {
        ASSERT_LT(spans[i].begin, spans[i].end);
        ASSERT_NE(spans[i].marks, Marks{});
        if (i > 0) {
            ASSERT_LE(spans[i - 1].end, spans[i].begin);
            ASSERT_FALSE(spans[i - 1].end == spans[i].begin && spans[i - 1].marks == spans[i].marks);
        }
    }
}

TEST(EditorText, RandomEditsMarksAndUndoAgreeWithAPlainModel) {
    std::mt19937 random(7);
    const auto pick = [&random](std::size_t bound) {
        return bound == 0 ? std::size_t{0} : static_cast<std::size_t>(random()) % (bound + 1);
    };
    const Marks kinds[] = {{}, {MarkColor::Red, false}, {MarkColor::Blue, true}, {MarkColor::Black, true}};

    EditorText document;
    Model model;
    RichText start;
    start.append(u"ab\ncd", {});
    start.append(u"ef\n", {MarkColor::Red, false});
    document.assign(start);
    model.text = start.text;
    model.marks = {{}, {}, {}, {}, {}, {MarkColor::Red, false}, {MarkColor::Red, false},
                   {MarkColor::Red, false}};
    // The states undo walks back through, and redo forward again. Typed
    // characters that follow each other are one step.
    std::vector<Model> history{model};
    std::size_t now = 0;
    constexpr std::size_t kNone = std::u16string::npos;
    std::size_t typedUpTo = kNone;

    for (int step = 0; step < 3000; ++step) {
        const auto what = static_cast<unsigned>(random() % 10);
        bool joined = false;
        if (what < 4) {
            // Typing goes on where it stopped half the time; typing may
            // also replace a selection.
            const bool typing = what < 2;
            std::size_t from = pick(model.text.size());
            if (what == 0 && typedUpTo != kNone && random() % 2 != 0) from = typedUpTo;
            const std::size_t to =
                what == 0 ? from : from + pick(std::min<std::size_t>(4, model.text.size() - from));
            std::u16string with;
            for (std::size_t n = pick(3); n > 0; --n) with += u"x\nЖ"[random() % 3];
            const Marks marks = kinds[random() % 4];
            document.replace(from, to, with, marks, typing);
            model.text.replace(from, to - from, with);
            model.marks.erase(model.marks.begin() + static_cast<std::ptrdiff_t>(from),
                              model.marks.begin() + static_cast<std::ptrdiff_t>(to));
            model.marks.insert(model.marks.begin() + static_cast<std::ptrdiff_t>(from), with.size(),
                               marks);
            joined = typing && to == from && typedUpTo == from;
            typedUpTo = typing ? from + with.size() : kNone;
        } else if (what < 7) {
            const std::size_t from = pick(model.text.size());
            const std::size_t to = from + pick(model.text.size() - from);
            const bool red = random() % 2 != 0;
            const auto change = [red](Marks m) {
                if (red) {
                    m.color = m.color == MarkColor::Red ? MarkColor::Black : MarkColor::Red;
                } else {
                    m.bold = !m.bold;
                }
                return m;
            };
            document.restyle(from, to, change);
            for (std::size_t i = from; i < to; ++i) model.marks[i] = change(model.marks[i]);
            typedUpTo = kNone;
            if (from == to) continue;  // nothing to undo
        } else {
            const bool back = what < 9;
            const auto change = back ? document.undo() : document.redo();
            ASSERT_EQ(change.has_value(), back ? now > 0 : now + 1 < history.size());
            if (change) model = history[back ? --now : ++now];
            typedUpTo = kNone;
            expectSame(document, model);
            continue;
        }
        expectSame(document, model);
        history.resize(now + 1);
        if (joined) {
            history.back() = model;
        } else {
            history.push_back(model);
            ++now;
        }
    }
}

// The text is held once, a byte a character where it can be: the document,
// the text a run reads and a command's undo step share it, and a change
// while it is shared copies it, leaving the share as it was.
TEST(EditorText, SharesItsTextUntilItChanges) {
    auto text = std::make_shared<std::string>("ab\nЖ𝄞x\n");
    EditorText document;
    document.assignUtf8(text);
    EXPECT_EQ(document.share(), text);
    EXPECT_EQ(document.size(), 8u);
    EXPECT_EQ(document.lineCount(), 3u);
    EXPECT_EQ(document.line(1), u"Ж𝄞x");
    EXPECT_EQ(document.slice(4, 6), u"𝄞");
    EXPECT_EQ(document.at(6), u'x');
    EXPECT_EQ(document.utf8Slice(3, 7), "Ж𝄞x");

    const SharedText read = document.share();
    document.replace(6, 7, u"yz", {});
    EXPECT_EQ(*read, "ab\nЖ𝄞x\n");
    EXPECT_EQ(document.utf8(), "ab\nЖ𝄞yz\n");
    EXPECT_EQ(document.lineEnd(1), 8u);

    // The text from before a command stays in its step, uncopied.
    const SharedText before = document.share();
    EditorText next;
    next.assignUtf8(std::make_shared<std::string>("new\n"));
    document.replaceAll(std::move(next), "command");
    ASSERT_TRUE(document.undo());
    EXPECT_EQ(document.share(), before);
}

TEST(EditorText, BytesThatAreNotUtf8BecomeReplacementCharacters) {
    EditorText document;
    document.assignUtf8(
        std::make_shared<std::string>("a\xFF\n\xED\xA0\x80"
                                      "b"));
    EXPECT_EQ(document.richText().text, u"a\uFFFD\n\uFFFD\uFFFD\uFFFDb");
    EXPECT_EQ(document.lineStart(1), 3u);
    // A lone surrogate typed in takes one unit, as U+FFFD.
    document.replace(0, 0, std::u16string(1, char16_t{0xD800}), {});
    EXPECT_EQ(document.size(), 8u);
    EXPECT_EQ(document.slice(0, 2), u"\uFFFDa");
}

}  // namespace
}  // namespace zelvar
