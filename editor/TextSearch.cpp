#include "TextSearch.h"

#include <sys/mman.h>

#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "UpperCase.h"

namespace zelvar {

namespace {

bool matchesAt(const char16_t* text, std::u16string_view what) {
    return std::memcmp(text, what.data(), what.size() * sizeof(char16_t)) == 0;
}

// Candidates are the positions lo..hi (inclusive), text long enough for each.
// Blocks of eight candidates are sifted by the first and the last unit of
// the search text together, which leaves few false candidates on log text,
// where any single character is common.
std::optional<std::size_t> scanForward(const char16_t* text, std::u16string_view what,
                                       std::size_t lo, std::size_t hi) {
    std::size_t p = lo;
#if defined(__SSE2__)
    const std::size_t lastOffset = what.size() - 1;
    const __m128i first = _mm_set1_epi16(static_cast<short>(what.front()));
    const __m128i last = _mm_set1_epi16(static_cast<short>(what.back()));
    for (; p + 7 <= hi; p += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + p + lastOffset));
        auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi16(a, first), _mm_cmpeq_epi16(b, last))));
        while (mask != 0) {
            const auto bit = static_cast<std::size_t>(__builtin_ctz(mask));
            if (matchesAt(text + p + bit / 2, what)) return p + bit / 2;
            mask &= ~(3u << bit);
        }
    }
#endif
    for (; p <= hi; ++p) {
        if (text[p] == what.front() && matchesAt(text + p, what)) return p;
    }
    return std::nullopt;
}

std::optional<std::size_t> scanBackward(const char16_t* text, std::u16string_view what,
                                        std::size_t lo, std::size_t hi) {
    std::size_t p = hi + 1;  // one past the next candidate
#if defined(__SSE2__)
    const std::size_t lastOffset = what.size() - 1;
    const __m128i first = _mm_set1_epi16(static_cast<short>(what.front()));
    const __m128i last = _mm_set1_epi16(static_cast<short>(what.back()));
    for (; p >= lo + 8; p -= 8) {
        const std::size_t q = p - 8;
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + q));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + q + lastOffset));
        auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi16(a, first), _mm_cmpeq_epi16(b, last))));
        while (mask != 0) {
            const auto bit = static_cast<std::size_t>(31 - __builtin_clz(mask));
            if (matchesAt(text + q + bit / 2, what)) return q + bit / 2;
            mask &= ~(3u << (bit - 1));
        }
    }
#endif
    while (p > lo) {
        --p;
        if (text[p] == what.front() && matchesAt(text + p, what)) return p;
    }
    return std::nullopt;
}

std::optional<std::size_t> findUpper(std::u16string_view upperText, std::u16string_view what,
                                     std::size_t selectionStart, std::size_t selectionLength,
                                     SearchDirection direction) {
    if (what.empty() || what.size() > upperText.size()) return std::nullopt;
    const std::u16string upperWhat = UpperText(what);
    const std::size_t lastCandidate = upperText.size() - what.size();
    if (direction == SearchDirection::Forward) {
        const std::size_t first = selectionStart + selectionLength;
        if (first < selectionStart || first > lastCandidate) return std::nullopt;
        return scanForward(upperText.data(), upperWhat, first, lastCandidate);
    }
    if (selectionStart < what.size()) return std::nullopt;
    const std::size_t first = selectionStart - what.size();
    // A selection start past the end of the text still has its candidates
    // only where the text is.
    return scanBackward(upperText.data(), upperWhat, 0,
                        first < lastCandidate ? first : lastCandidate);
}

}  // namespace

// The upper-cased copy of a long document is hundreds of megabytes, touched
// once from end to end: it is mapped in large pages where the system allows,
// and never filled with zeros before it is written.
SearchText::SearchText(std::u16string_view documentText) : size_(documentText.size()) {
    const std::size_t bytes = size_ * sizeof(char16_t);
    if (bytes == 0) return;
    void* memory = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) throw std::bad_alloc();
#if defined(MADV_HUGEPAGE)
    ::madvise(memory, bytes, MADV_HUGEPAGE);
#endif
    upper_ = std::unique_ptr<char16_t, ReleaseMapping>(static_cast<char16_t*>(memory), ReleaseMapping{bytes});
    UpperText(documentText, upper_.get());
}

void ReleaseMapping::operator()(char16_t* text) const { ::munmap(text, bytes); }

std::optional<std::size_t> SearchText::find(std::u16string_view what, std::size_t selectionStart,
                                            std::size_t selectionLength,
                                            SearchDirection direction) const {
    return findUpper(std::u16string_view(upper_.get(), size_), what, selectionStart,
                     selectionLength, direction);
}

std::optional<std::size_t> FindInText(std::u16string_view text, std::u16string_view what,
                                      std::size_t selectionStart, std::size_t selectionLength,
                                      SearchDirection direction) {
    return findUpper(UpperText(text), what, selectionStart, selectionLength, direction);
}

}  // namespace zelvar
