#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "LineTransform.h"
#include "TextUnits.h"

namespace zelvar {

struct EditOptions {
    std::string command;      // strip-stamps ... short, or sort-ports
    std::string byte = "4";   // mask: the "Bit :" field's text
    std::string type = "0B";  // mask: the "Value :" field's text
    bool byteGiven = false;
    bool typeGiven = false;
    bool crlf = false;
    std::optional<std::string> file;  // none or "-": standard input
    bool help = false;
};

// Parses the command line (without the program name). On bad usage it
// returns false and says why in error.
bool ParseEditOptions(const std::vector<std::string>& args, EditOptions& options,
                      std::string& error);

// A text as the editor's two-character fields hold it: cut to two
// characters and upper-cased.
std::string FieldText(std::string_view text);

// The command's transform, or none for sort-ports. Throws
// InvalidIntegerError for mask without a digit in its byte text.
std::optional<Transform> CommandTransform(const EditOptions& options);

// Whether a text read in pieces is valid UTF-8 as a whole, a character cut
// at a piece's end included.
class Utf8Check {
public:
    void add(std::string_view piece);
    // After the last piece.
    bool valid() const { return valid_ && carry_.empty(); }

private:
    std::string carry_;  // the start of a character cut at the last piece's end
    bool valid_ = true;
};

// The longest line a command runs over: a longer one would take memory that
// grows with it, several times over in some transforms.
inline constexpr std::size_t kLongestEditLine = std::size_t{1} << 20;

// A line longer than kLongestEditLine, by its number from 1.
struct LineTooLongError {
    std::size_t line;
};

// What the tool learns of its input, block by block, before it runs the
// command: that it stays within `limit` bytes (else WholeFileError), that no
// line, ended as the editor ends its lines, is longer than kLongestEditLine
// (else LineTooLongError), and whether it is UTF-8.
class InputScan {
public:
    explicit InputScan(std::size_t limit) : limit_(limit) {}
    void add(std::string_view block);
    // After the last block.
    bool utf8() const { return utf8_.valid(); }

private:
    std::size_t limit_;
    std::size_t size_ = 0;
    Utf8Check utf8_;
    std::size_t line_ = 1;
    std::size_t length_ = 0;  // of the line not yet ended
    bool afterCr_ = false;    // the last byte was a CR: a LF next ends no other line
};

// Runs the transform (or the port sort) over a document given line by line,
// as the editor window runs it over the whole document, and hands on the
// lines the window would show, LF or CR LF after each, in pieces of a block
// or more. Only the port sort keeps lines: one buffer per port.
class EditRun {
public:
    using Sink = std::function<void(std::string_view)>;
    // `units`: how the whole document counts characters.
    EditRun(std::optional<Transform> transform, TextUnits units, bool crlf, Sink sink);

    // The next line of the document, without its line end.
    void add(std::string_view line);
    // Every line of a whole text, split as the editor splits its text.
    void addText(std::string_view text);
    // Hands on what is left after the last line.
    void finish();

private:
    void append(std::string& to, std::string_view line) const;

    std::optional<Transform> transform_;
    bool crlf_;
    Sink sink_;
    std::string out_;
    std::string line_;
    std::array<std::string, 4> ports_;
};

}  // namespace zelvar
