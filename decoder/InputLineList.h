#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zelvar {

// The lines of a log waiting for the offline decoder, kept as text with a LF
// after each line and nothing else: the run reads them first to last, so no
// index is needed, and the list takes no more memory than the file (a blank
// line costs its LF only). The text lies in blocks of about a megabyte, so
// that a run can give the blocks it has read back while its output grows.
class InputLineList {
public:
    // `line` holds no LF.
    void append(std::string_view line);
    // Room for lines of `chars` characters in all, their LFs included: the
    // blocks are sized so that no more is taken.
    void reserve(std::size_t chars) { reserved_ = chars; }
    // Empties the list and gives its memory back.
    void clear();
    // The lines become those of a shared text, each followed by LF (the
    // editor's document), read where they are.
    void share(std::shared_ptr<const std::string> lines);

    bool empty() const { return lines_ == 0; }
    std::size_t size() const { return lines_; }
    // Lines with at least one character, and the characters of all lines.
    std::size_t nonBlankLines() const { return nonBlank_; }
    std::size_t chars() const { return bytes_ - lines_; }
    // The memory the lines take.
    std::size_t capacity() const;

    // Reads the lines first to last.
    class Reader {
    public:
        explicit Reader(const InputLineList& list) : list_(list) {}
        // The same, giving each block back once it has been read past: the
        // list holds nothing but its counts after the last line.
        static Reader releasing(InputLineList& list);
        // The next line, valid until the next call; false after the last one.
        bool next(std::string_view& line);

    private:
        const InputLineList& list_;
        InputLineList* owner_ = nullptr;
        std::size_t block_ = 0;  // the next block to read
        std::string_view text_;  // the block being read
        std::size_t pos_ = 0;
    };

private:
    std::size_t blockCount() const { return shared_ ? 1 : blocks_.size(); }
    std::string_view block(std::size_t index) const {
        return shared_ ? std::string_view(*shared_) : std::string_view(blocks_[index]);
    }

    std::vector<std::string> blocks_;
    std::shared_ptr<const std::string> shared_;
    std::size_t reserved_ = 0;  // room asked for and not yet given to a block
    std::size_t lines_ = 0;
    std::size_t nonBlank_ = 0;
    std::size_t bytes_ = 0;  // of the text, LFs included
};

}  // namespace zelvar
