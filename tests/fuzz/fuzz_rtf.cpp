// Feeds arbitrary bytes to the document reader, once as they come (RTF or
// plain text by content) and once behind an RTF header so that the fuzzer
// reaches the reader's depths from the first run. Whatever is read must
// survive the writer and read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "DocumentText.h"
#include "Rtf.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const zelvar::RichText asFile = zelvar::ReadDocumentBytes(bytes);
    const zelvar::RichText asRtf =
        zelvar::ReadRtf("{\\rtf1\\ansi\\ansicpg1251 " + std::string(bytes));
    for (const zelvar::RichText* document : {&asFile, &asRtf}) {
        if (zelvar::ReadRtf(zelvar::WriteRtf(*document)) != *document) std::abort();
    }
    return 0;
}
