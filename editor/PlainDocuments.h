#pragma once

#include <QStringView>
#include <string>
#include <string_view>

#include "RichText.h"

namespace zelvar {

// Plain text as a document without marks, with its room for editing.
RichText PlainDocument(QStringView text);
// The same from UTF-8, decoded straight into the document's text: a day's
// log is not held a second time on its way.
RichText Utf8Document(std::string_view utf8);
// A document's text as UTF-8, encoded straight into the result.
std::string Utf8Text(std::u16string_view text);

}  // namespace zelvar
