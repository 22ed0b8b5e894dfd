#pragma once

#include <cstddef>
#include <functional>
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

// The same in a text of `size` units that is read a piece at a time, each
// piece as `piece(from, to)` gives it: a day's log is never decoded whole.
using TextPiece = std::function<std::u16string(std::size_t from, std::size_t to)>;
std::optional<std::size_t> FindInPieces(std::size_t size, const TextPiece& piece,
                                        std::u16string_view what, std::size_t selectionStart,
                                        std::size_t selectionLength, SearchDirection direction);

}  // namespace zelvar
