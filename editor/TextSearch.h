#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zelvar {

enum class SearchDirection { Backward, Forward };

// Unmaps the pages of a prepared text.
struct ReleaseMapping {
    std::size_t bytes = 0;
    void operator()(char16_t* text) const;
};

// The editor's document text prepared for searching: upper-cased once, so a
// press of a find button on a long document only scans. Build it from the
// plain text the selection positions refer to, and drop it when the text
// changes.
class SearchText {
public:
    explicit SearchText(std::u16string_view documentText);

    std::size_t size() const { return size_; }
    // The upper-cased text.
    std::u16string_view upper() const { return {upper_.get(), size_}; }

    // The search of the find buttons, without regard to case: forward, the
    // first occurrence starting at or after the end of the selection;
    // backward, the nearest one ending at or before the selection's start.
    // No wrap. Gives the occurrence's start, its length being what.size(),
    // or nothing (also for an empty search text).
    std::optional<std::size_t> find(std::u16string_view what, std::size_t selectionStart,
                                    std::size_t selectionLength,
                                    SearchDirection direction) const;

private:
    std::size_t size_ = 0;
    std::unique_ptr<char16_t, ReleaseMapping> upper_;
};

// One search without keeping the prepared text.
std::optional<std::size_t> FindInText(std::u16string_view text, std::u16string_view what,
                                      std::size_t selectionStart, std::size_t selectionLength,
                                      SearchDirection direction);

}  // namespace zelvar
