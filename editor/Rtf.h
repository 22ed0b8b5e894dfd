#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "RichText.h"

namespace zelvar {

// Reads an RTF document: its text, with paragraph and line breaks as '\n' and
// tabs as '\t', and its marks (colours through NearestMarkColor, bold).
// Pictures, fields' instructions, headers and every other destination are
// skipped. Any input is accepted: what parses is returned, a truncated file
// gives its text so far, and the result is never longer than the input.
RichText ReadRtf(std::string_view bytes);

// Writes a document as RTF in the way word processors on Russian Windows
// do: code page 1251, Courier New with the Cyrillic character set, red and
// blue in the colour table, every character beyond ASCII as \uN with its
// 1251 byte (or '?') for readers without Unicode. ReadRtf gives the same
// document back.
std::string WriteRtf(const RichText& document);
// The same from a document's text and its runs of marks, not copied first.
std::string WriteRtf(std::u16string_view text, const std::vector<MarkRun>& runs);
// The same of valid UTF-8 text of `units` UTF-16 units, as the editor keeps it.
std::string WriteRtf(std::string_view utf8, std::size_t units, const std::vector<MarkRun>& runs);

}  // namespace zelvar
