#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "LineTransform.h"

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

// Runs the transform (or the port sort) over a whole document as the editor
// window does and gives the lines it would show, LF or CR LF after each.
std::string RunEdit(std::optional<Transform> transform, bool crlf, std::string text);

}  // namespace zelvar
