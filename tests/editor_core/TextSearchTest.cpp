#include <gtest/gtest.h>

#include <QChar>
#include <optional>
#include <random>
#include <string>

#include "TextSearch.h"
#include "UpperCase.h"

using zelvar::FindInText;
using zelvar::SearchDirection;

namespace {

constexpr auto Forward = SearchDirection::Forward;
constexpr auto Backward = SearchDirection::Backward;

// The find buttons as the user presses them: a found occurrence becomes the
// selection, nothing found leaves it.
struct Selection {
    std::size_t start = 0;
    std::size_t length = 0;

    void press(std::u16string_view text, std::u16string_view what, SearchDirection direction) {
        if (const auto found = FindInText(text, what, start, length, direction)) {
            start = *found;
            length = what.size();
        }
    }
};

// The search rule taken literally: every candidate position in turn.
std::optional<std::size_t> literalFind(std::u16string_view text, std::u16string_view what,
                                       std::size_t start, std::size_t length,
                                       SearchDirection direction) {
    auto at = [&](std::size_t p) {
        for (std::size_t k = 0; k < what.size(); ++k) {
            if (zelvar::UpperChar(text[p + k]) != zelvar::UpperChar(what[k])) return false;
        }
        return true;
    };
    if (what.empty() || what.size() > text.size()) return std::nullopt;
    if (direction == Forward) {
        for (std::size_t p = start + length; p + what.size() <= text.size(); ++p) {
            if (at(p)) return p;
        }
    } else if (start >= what.size()) {
        for (std::size_t p = start - what.size() + 1; p-- > 0;) {
            if (at(p)) return p;
        }
    }
    return std::nullopt;
}

}  // namespace

TEST(TextSearch, PressesWalkTheOccurrencesWithoutWrapping) {
    const std::u16string_view text = u"abc Abc ABC";
    Selection selection;
    const std::size_t forward[] = {0, 4, 8, 8};
    for (const std::size_t expected : forward) {
        selection.press(text, u"ABC", Forward);
        EXPECT_EQ(selection.start, expected);
        EXPECT_EQ(selection.length, 3u);
    }
    selection.press(text, u"ABC", Backward);
    EXPECT_EQ(selection.start, 4u);
    selection.press(text, u"ABC", Backward);
    EXPECT_EQ(selection.start, 0u);
    selection.press(text, u"ABC", Backward);
    EXPECT_EQ(selection.start, 0u);

    // A caret inside an occurrence does not find that one; overlapping
    // occurrences are skipped forward.
    EXPECT_EQ(FindInText(text, u"abc", 5, 0, Forward), 8u);
    EXPECT_EQ(FindInText(u"aaaa", u"aa", 0, 2, Forward), 2u);
    EXPECT_EQ(FindInText(u"aaaa", u"aa", 2, 2, Backward), 0u);
    EXPECT_EQ(FindInText(u"abc", u"", 0, 0, Forward), std::nullopt);
    EXPECT_EQ(FindInText(u"ab", u"abc", 0, 0, Forward), std::nullopt);
    EXPECT_EQ(FindInText(u"abc", u"abc", 2, 0, Backward), std::nullopt);
}

TEST(TextSearch, CyrillicLettersMatchWithoutRegardToCase) {
    const std::u16string text = u"Привет мир; ёлка ЁЛКА; Їжак і ґанок";
    EXPECT_EQ(FindInText(text, u"ПРИВЕТ МИР", 0, 0, Forward), 0u);
    EXPECT_EQ(FindInText(text, u"ЁЛКА", 0, 0, Forward), 12u);
    EXPECT_EQ(FindInText(text, u"ЁЛКА", 13, 0, Forward), 17u);
    EXPECT_EQ(FindInText(text, u"ЇЖАК І ҐАНОК", 0, 0, Forward), 23u);
    EXPECT_EQ(FindInText(text, u"привет", text.size(), 0, Backward), 0u);
}

// The mapping is QChar::toUpper's wherever it maps at all, and maps
// the scripts a log in Western or Cyrillic text can carry.
TEST(TextSearch, UpperCaseAgreesWithQt) {
    for (char32_t c = 0; c <= 0xFFFF; ++c) {
        const auto unit = static_cast<char16_t>(c);
        const char16_t mine = zelvar::UpperChar(unit);
        const char16_t qt = QChar(unit).toUpper().unicode();
        const bool covered = c < 0x180 || (c >= 0x400 && c < 0x530);
        if (covered) {
            EXPECT_EQ(mine, qt) << std::hex << static_cast<unsigned>(c);
        } else {
            EXPECT_EQ(mine, unit) << std::hex << static_cast<unsigned>(c);
        }
    }
}

// The block-wise scan agrees with the rule taken literally, from every
// selection, in texts long enough to use whole blocks and their tails.
TEST(TextSearch, ScanAgreesWithTheLiteralRule) {
    std::mt19937 engine(3);
    const std::u16string alphabet = u"aAbB ё\u0401iIıſsS";
    for (int round = 0; round < 40; ++round) {
        std::u16string text(static_cast<std::size_t>(engine() % 70), u' ');
        for (char16_t& c : text) c = alphabet[engine() % alphabet.size()];
        std::u16string what(1 + static_cast<std::size_t>(engine() % 3), u' ');
        for (char16_t& c : what) c = alphabet[engine() % alphabet.size()];
        for (std::size_t start = 0; start <= text.size(); ++start) {
            for (const std::size_t length : {std::size_t{0}, std::size_t{2}}) {
                if (start + length > text.size()) continue;
                for (const SearchDirection direction : {Forward, Backward}) {
                    ASSERT_EQ(FindInText(text, what, start, length, direction),
                              literalFind(text, what, start, length, direction))
                        << round << " " << start << "+" << length;
                }
            }
        }
    }
}

// A text read a piece at a time finds what the whole text does, also across
// the pieces' border.
TEST(TextSearch, PiecesFindWhatTheWholeTextFinds) {
    constexpr std::size_t kBorder = std::size_t{1} << 20;
    std::u16string text(kBorder + 40, u'.');
    for (const std::size_t at : {std::size_t{3}, kBorder - 2, kBorder + 5})
        text.replace(at, 3, u"abc");
    const zelvar::TextPiece piece = [&text](std::size_t from, std::size_t to) {
        return text.substr(from, to - from);
    };
    for (const std::size_t start : {std::size_t{0}, std::size_t{4}, kBorder - 2, kBorder - 1,
                                    kBorder + 1, kBorder + 8, text.size()}) {
        for (const auto direction : {Forward, Backward}) {
            EXPECT_EQ(zelvar::FindInPieces(text.size(), piece, u"ABC", start, 0, direction),
                      FindInText(text, u"ABC", start, 0, direction))
                << start;
        }
    }
}
