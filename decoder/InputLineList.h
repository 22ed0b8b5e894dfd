#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace zelvar {

// The lines of a log waiting for the offline decoder, kept as one text with a
// LF after each line and nothing else: the run reads them first to last, so
// no index is needed, and the list takes no more memory than the file (a
// blank line costs its LF only).
class InputLineList {
public:
    // `line` holds no LF.
    void append(std::string_view line);
    // Room for lines of `chars` characters in all, their LFs included.
    void reserve(std::size_t chars) { text_.reserve(chars); }
    // Empties the list and gives its memory back.
    void clear();
    // The lines become those of a shared text, each followed by LF (the
    // editor's document), read where they are.
    void share(std::shared_ptr<const std::string> lines);

    bool empty() const { return text().empty(); }
    std::size_t size() const { return lines_; }
    // Lines with at least one character, and the characters of all lines.
    std::size_t nonBlankLines() const { return nonBlank_; }
    std::size_t chars() const { return text().size() - lines_; }
    // The memory the lines take.
    std::size_t capacity() const { return shared_ ? shared_->capacity() : text_.capacity(); }

    // Reads the lines first to last.
    class Reader {
    public:
        explicit Reader(const InputLineList& list) : text_(list.text()) {}
        // The next line; false after the last one.
        bool next(std::string_view& line);

    private:
        std::string_view text_;
        std::size_t pos_ = 0;
    };

private:
    const std::string& text() const { return shared_ ? *shared_ : text_; }

    std::string text_;
    std::shared_ptr<const std::string> shared_;
    std::size_t lines_ = 0;
    std::size_t nonBlank_ = 0;
};

}  // namespace zelvar
