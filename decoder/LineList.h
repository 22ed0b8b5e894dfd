#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zelvar {

// An ordered list of text lines kept in one buffer, each line followed by a
// LF, so that a long decoding collects its output without an allocation per
// line and a window can take the whole list in one step.
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
    const std::string& text() const { return text_; }
    // All lines joined by LF, without the LF after the last one.
    std::string_view joined() const;

    // Splits a file's text into lines at CR LF, LF or a lone CR; a line end
    // at the very end of the text does not start another line.
    // Takes the text's buffer over, so a large log is never held twice.
    static LineList fromText(std::string text);

private:
    std::string text_;
    std::vector<std::size_t> ends_;
};

}  // namespace zelvar
