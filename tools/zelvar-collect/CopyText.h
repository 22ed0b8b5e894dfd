#pragma once

#include <string>
#include <string_view>

namespace zelvar {

// `text` with COPY's own escapes for backslash, TAB, LF and CR, appended.
void AppendCopyText(std::string& out, std::string_view text);

}  // namespace zelvar
