#include "CopyText.h"

namespace zelvar {

void AppendCopyText(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
            case '\\':
                out.append("\\\\");
                break;
            case '\t':
                out.append("\\t");
                break;
            case '\n':
                out.append("\\n");
                break;
            case '\r':
                out.append("\\r");
                break;
            default:
                out += c;
        }
    }
}

}  // namespace zelvar
