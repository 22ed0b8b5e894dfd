#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zelvar {

// An ordered list of text lines kept in one buffer, each line followed by a
// LF, so that a long decoding collects its output without an allocation per
// line and a window can take the whole list in one step. The buffer can be
// shared (as the editor's document shares it): a list changed while it is
// shared copies it first.
class LineList {
public:
    void append(std::string_view line);
    void clear();
    void reserve(std::size_t lines, std::size_t chars);

    std::size_t size() const { return ends_.size(); }
    bool empty() const { return ends_.empty(); }
    std::string_view operator[](std::size_t index) const;
    std::string_view back() const { return (*this)[size() - 1]; }

    // All lines, each followed by LF.
    const std::string& text() const;
    // The same, as a share that stays as it is whatever the list does later.
    std::shared_ptr<const std::string> share() const;
    // The lines of a text as fromText splits it, sharing the text when it
    // is already such a list's (each line ending in LF, no CR), else a copy.
    static LineList fromShared(std::shared_ptr<const std::string> text);
    // All lines joined by LF, without the LF after the last one.
    std::string_view joined() const;

    // Splits a file's text into lines at CR LF, LF or a lone CR; a line end
    // at the very end of the text does not start another line.
    // Takes the text's buffer over, so a large log is never held twice.
    static LineList fromText(std::string text);

private:
    // The text to change in place: a copy of it first while it is shared.
    std::string& own();

    // Made as a std::string, to change in place when it is not shared.
    std::shared_ptr<const std::string> text_;
    std::vector<std::size_t> ends_;
};

}  // namespace zelvar
