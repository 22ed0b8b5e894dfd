#pragma once

#include <string>
#include <string_view>

#include "RichText.h"

namespace zelvar {

// Whether a file's content is RTF: it begins with "{\rtf", after an optional
// UTF-8 byte-order mark and blanks. The file's name plays no part.
bool LooksLikeRtf(std::string_view bytes);

// A plain-text file's characters: UTF-8 when the bytes are valid UTF-8,
// Windows-1251 otherwise (a byte-order mark is dropped either way), as Cyrillic notes
// written on older systems are. Line ends (CR LF, CR, LF) become '\n'.
std::u16string DecodePlainText(std::string_view bytes);

// The same in the file's own buffer, as UTF-8, when the bytes are valid
// UTF-8 and not RTF: a day's log is read as it lies, a byte a character.
// False, the bytes left as they were, otherwise.
bool PlainUtf8Text(std::string& bytes);

// A document file as the editor shows it: RTF with its marks (what comes
// before the document's opening brace is not text), or plain text without
// any.
RichText ReadDocumentBytes(std::string_view bytes);

}  // namespace zelvar
