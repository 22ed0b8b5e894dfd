#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zelvar {

enum class SearchDirection { Backward, Forward };

// The search of the find buttons, without regard to case (UpperChar on
// both sides), in the text as it is: forward, the first occurrence starting
// at or after the end of the selection; backward, the nearest one ending at
// or before the selection's start. No wrap. Gives the occurrence's start,
// its length being what.size(), or nothing (also for an empty search text).
std::optional<std::size_t> FindInText(std::u16string_view text, std::u16string_view what,
                                      std::size_t selectionStart, std::size_t selectionLength,
                                      SearchDirection direction);

}  // namespace zelvar
