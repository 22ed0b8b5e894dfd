#include "PlainDocuments.h"

namespace zelvar {

RichText PlainDocument(QStringView text) {
    RichText plain;
    const auto units = static_cast<std::size_t>(text.size());
    plain.text.reserve(EditingCapacity(units));
    plain.append(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), units), {});
    return plain;
}

}  // namespace zelvar
