#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelvar {

// The marks the editor keeps: one of three colours and bold. Black is the
// unmarked text colour.
enum class MarkColor : std::uint8_t { Black, Red, Blue };

struct Marks {
    MarkColor color = MarkColor::Black;
    bool bold = false;
    friend bool operator==(const Marks&, const Marks&) = default;
};

// A run of characters that carry the same marks.
struct MarkRun {
    std::size_t length = 0;  // UTF-16 units
    Marks marks;
    friend bool operator==(const MarkRun&, const MarkRun&) = default;
};

// A document as the editor reads and writes it: UTF-16 text whose lines are
// separated by '\n', and the runs of marks that cover it from start to end.
// Neighbouring runs always differ, so two documents with the same text and
// the same marks compare equal.
struct RichText {
    std::u16string text;
    std::vector<MarkRun> runs;

    void append(std::u16string_view part, Marks marks);
    void append(char16_t unit, Marks marks);
    friend bool operator==(const RichText&, const RichText&) = default;
};

// The room to reserve for a document's text of `units` UTF-16 units that
// is to be edited: typing into a long text then moves its tail instead of
// copying all of it to a larger buffer at the first key. Reserved and never
// written, the room costs address space, not memory.
std::size_t EditingCapacity(std::size_t units);

// A colour of a document's colour table as one of the three: the hue nearest
// to it among pure red (0 degrees), green (120) and blue (240), green counting
// as black; greys, white and near-greys (largest minus smallest component
// under 64) are black as well.
MarkColor NearestMarkColor(int red, int green, int blue);

}  // namespace zelvar
