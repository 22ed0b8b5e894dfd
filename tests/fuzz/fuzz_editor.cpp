// Feeds arbitrary text to the editor's line transforms, the port sort and
// the search, checking what must hold whatever the text: a conversion keeps
// the number of lines, a filter keeps only lines of the document (a kept line
// of mode 6 or 7 may lose what stands before its stamp), and a found
// occurrence matches and lies where the rule allows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "PortSort.h"
#include "ProcessLines.h"
#include "TextSearch.h"
#include "UpperCase.h"

namespace {

class CountingOutput : public zelvar::TransformOutput {
public:
    void showLines(const zelvar::LineList& lines) override { shown = lines; }
    zelvar::LineList shown;
};

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const unsigned selector = data[0];
    const std::size_t bytePosition = data[1] % 40;
    const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
    const zelvar::LineList lines = zelvar::LineList::fromText(text);

    if (selector % 10 == 9) {
        const zelvar::LineList sorted = zelvar::SortByPorts(lines);
        check(sorted.size() <= lines.size());
    } else {
        zelvar::Transform transform =
            zelvar::TransformFor(static_cast<zelvar::TransformMode>(selector % 10));
        transform.bytePosition = transform.mode == zelvar::TransformMode::Packets0B05 ? 4 : bytePosition;
        transform.typeText = text.substr(0, 2);
        transform.units = zelvar::IsValidUtf8(text) ? zelvar::TextUnits::Utf8 : zelvar::TextUnits::Bytes;
        zelvar::LineList workLines;
        bool stop = false;
        CountingOutput output;
        zelvar::ProcessLines(text, transform, workLines, stop, output);
        check(workLines.size() == lines.size());
        if (!zelvar::IsFilter(transform.mode)) {
            check(output.shown.size() == lines.size());
        } else {
            check(output.shown.size() <= lines.size());
            check(output.shown.text().size() <= lines.text().size());
        }
    }

    // The search over the text widened to UTF-16, one unit per byte.
    const std::u16string wide(text.begin(), text.end());
    const std::size_t length = (selector >> 4) % 5 + 1;
    const std::u16string what = wide.substr(wide.size() / 2, length);
    const std::size_t start = bytePosition % (wide.size() + 1);
    const auto direction = (selector & 8) != 0 ? zelvar::SearchDirection::Forward
                                               : zelvar::SearchDirection::Backward;
    const auto found = zelvar::FindInText(wide, what, start, 0, direction);
    if (found) {
        check(*found + what.size() <= wide.size());
        check(direction == zelvar::SearchDirection::Forward ? *found >= start
                                                            : *found + what.size() <= start);
        for (std::size_t k = 0; k < what.size(); ++k) {
            check(zelvar::UpperChar(wide[*found + k]) == zelvar::UpperChar(what[k]));
        }
    }
    return 0;
}
