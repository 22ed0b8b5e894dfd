// The editor's document against a plain model (a string and the marks of
// each character): random edits, marks, undos and redos must leave both the
// same, with line starts and spans that agree.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace zelvar
