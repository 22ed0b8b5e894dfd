#include "TextSearch.h"


#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "UpperCase.h"

namespace zelvar {

namespace {

// The units whose upper case is `upper`: itself, and the small letters of
// the blocks the mapping covers. At most three (I, i and dotless i; S, s
// and long s).
struct Preimages {
    char16_t units[3];
    explicit Preimages(char16_t upper) : units{upper, upper, upper} {
        std::size_t count = 1;
        const auto add = [&](char16_t c) {
            if (c != upper && UpperChar(c) == upper && count < 3) units[count++] = c;
        };
        for (char16_t c = 0; c < 0x180; ++c) add(c);
        for (char16_t c = 0x400; c < 0x530; ++c) add(c);
    }
    bool has(char16_t c) const { return c == units[0] || c == units[1] || c == units[2]; }
};

bool matchesAt(const char16_t* text, std::u16string_view upperWhat) {
    for (std::size_t k = 0; k < upperWhat.size(); ++k) {
        if (UpperChar(text[k]) != upperWhat[k]) return false;
    }
    return true;
}

#if defined(__SSE2__)
// The lanes of eight units that are one of the preimages, as a byte mask.
unsigned laneMask(__m128i block, const __m128i (&units)[3]) {
    const __m128i any = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi16(block, units[0]), _mm_cmpeq_epi16(block, units[1])),
        _mm_cmpeq_epi16(block, units[2]));
    return static_cast<unsigned>(_mm_movemask_epi8(any));
}
#endif

// The text is searched where it is, without an upper-cased copy: candidates
// are the positions lo..hi (inclusive), text long enough for each. Blocks of
// eight candidates are sifted by the first and the last unit of the search
// text together, in either case, which leaves few false candidates on log
// text, where any single character is common.
class Scan {
public:
    Scan(const char16_t* text, std::u16string_view upperWhat)
        : text_(text), what_(upperWhat), first_(upperWhat.front()), last_(upperWhat.back()) {
#if defined(__SSE2__)
        for (std::size_t i = 0; i < 3; ++i) {
            firsts_[i] = _mm_set1_epi16(static_cast<short>(first_.units[i]));
            lasts_[i] = _mm_set1_epi16(static_cast<short>(last_.units[i]));
        }
#endif
    }

    std::optional<std::size_t> forward(std::size_t lo, std::size_t hi) const {
        std::size_t p = lo;
#if defined(__SSE2__)
        for (; p + 7 <= hi; p += 8) {
            unsigned mask = sift(p);
            while (mask != 0) {
                const auto bit = static_cast<std::size_t>(__builtin_ctz(mask));
                if (matchesAt(text_ + p + bit / 2, what_)) return p + bit / 2;
                mask &= ~(3u << bit);
            }
        }
#endif
        for (; p <= hi; ++p) {
            if (first_.has(text_[p]) && matchesAt(text_ + p, what_)) return p;
        }
        return std::nullopt;
    }

    std::optional<std::size_t> backward(std::size_t lo, std::size_t hi) const {
        std::size_t p = hi + 1;  // one past the next candidate
#if defined(__SSE2__)
        for (; p >= lo + 8; p -= 8) {
            const std::size_t q = p - 8;
            unsigned mask = sift(q);
            while (mask != 0) {
                const auto bit = static_cast<std::size_t>(31 - __builtin_clz(mask));
                if (matchesAt(text_ + q + bit / 2, what_)) return q + bit / 2;
                mask &= ~(3u << (bit - 1));
            }
        }
#endif
        while (p > lo) {
            --p;
            if (first_.has(text_[p]) && matchesAt(text_ + p, what_)) return p;
        }
        return std::nullopt;
    }

private:
#if defined(__SSE2__)
    unsigned sift(std::size_t p) const {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text_ + p));
        const __m128i b =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(text_ + p + what_.size() - 1));
        return laneMask(a, firsts_) & laneMask(b, lasts_);
    }
    __m128i firsts_[3];
    __m128i lasts_[3];
#endif
    const char16_t* text_;
    std::u16string_view what_;
    Preimages first_;
    Preimages last_;
};

}  // namespace

std::optional<std::size_t> FindInText(std::u16string_view text, std::u16string_view what,
                                      std::size_t selectionStart, std::size_t selectionLength,
                                      SearchDirection direction) {
    if (what.empty() || what.size() > text.size()) return std::nullopt;
    const std::u16string upperWhat = UpperText(what);
    const Scan scan(text.data(), upperWhat);
    const std::size_t lastCandidate = text.size() - what.size();
    if (direction == SearchDirection::Forward) {
        const std::size_t first = selectionStart + selectionLength;
        if (first < selectionStart || first > lastCandidate) return std::nullopt;
        return scan.forward(first, lastCandidate);
    }
    if (selectionStart < what.size()) return std::nullopt;
    const std::size_t first = selectionStart - what.size();
    // A selection start past the end of the text still has its candidates
    // only where the text is.
    return scan.backward(0, first < lastCandidate ? first : lastCandidate);
}

std::optional<std::size_t> FindInPieces(std::size_t size, const TextPiece& piece,
                                        std::u16string_view what, std::size_t selectionStart,
                                        std::size_t selectionLength, SearchDirection direction) {
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    if (what.empty()) return std::nullopt;
    // Each piece runs on into the next by what.size() - 1 units: an
    // occurrence across their border is whole in the first.
    const std::size_t overlap = what.size() - 1;
    if (direction == SearchDirection::Forward) {
        for (std::size_t from = std::min(selectionStart + selectionLength, size); from < size;
             from += kPiece) {
            const std::u16string text = piece(from, std::min(size, from + kPiece + overlap));
            const auto found = FindInText(text, what, 0, 0, SearchDirection::Forward);
            if (found && *found < kPiece) return from + *found;
        }
        return std::nullopt;
    }
    // Backward, every occurrence that ends in (to - kPiece, to] lies whole
    // in the piece, and no other ends there.
    for (std::size_t to = std::min(selectionStart, size); to > 0; to -= std::min(to, kPiece)) {
        const std::size_t from = to - std::min(to, kPiece + overlap);
        const std::u16string text = piece(from, to);
        const auto found = FindInText(text, what, to - from, 0, SearchDirection::Backward);
        if (found) return from + *found;
    }
    return std::nullopt;
}

}  // namespace zelvar
