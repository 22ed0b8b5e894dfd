#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "LineTransform.h"

using zelvar::Transform;
using zelvar::TransformMode;

namespace {

std::optional<std::string> transformed(const Transform& transform, std::string_view line) {
    std::string out;
    if (!zelvar::TransformLine(line, transform, out)) return std::nullopt;
    return out;
}

Transform mask(std::size_t bytePosition, std::string type) {
    Transform t = zelvar::TransformFor(TransformMode::MaskFilter);
    t.bytePosition = bytePosition;
    t.typeText = std::move(type);
    return t;
}

struct Case {
    Transform transform;
    const char* line;
    std::optional<std::string> expected;  // nothing: the filter drops the line
};

Transform mode(TransformMode m) { return zelvar::TransformFor(m); }

}  // namespace

TEST(LineTransform, EachModeOnItsExamplesAndEdges) {
    const auto P = TransformMode::PortDateTime, S = TransformMode::Spaces,
               D = TransformMode::DivideSpaces, H = TransformMode::HexToByte,
               B = TransformMode::ByteToHex, F = TransformMode::Packets0B05;
    const std::string sixteen(16, 'x'), fifteen(15, 'x');
    const std::string eightyOne(81, 'x'), eighty(80, 'x');
    const Case cases[] = {
        // Port / Date / Time: everything up to the first tab goes.
        {mode(P), "1$F4BEE070\t00 1A FF", "00 1A FF"},
        {mode(P), "00 1A FF", "00 1A FF"},
        {mode(P), "a\tb\tc", "b\tc"},
        // Spaces: only '0'..'F' stay; the stamp stays only in the filters' form.
        {mode(S), "0B 00 1f 2A", "0B0012A"},
        {mode(S), "09:;<=>?@AFGa z", "09:;<=>?@AF"},
        {mode(S), "1$F4BEE070\t0B 00", "0B00"},
        {mode(S), "3$1145A3B28\t0B 00", "0B00"},
        {mode(S), "F4BEE070\t0B 00", "F4BEE070\t0B00"},
        {mode(S), "1145A3B2A\t0B 00", "1145A3B2A\t0B00"},
        {mode(S), "1$45A3B2A\t0B 00", "0B00"},
        {mode(S), "abcdefgh\t0B 00", "abcdefgh\t0B00"},
        // Divide: a pair gets a blank when anything at all follows it.
        {mode(D), "0B001220", "0B 00 12 20"},
        {mode(D), "0B001", "0B 00 "},
        {mode(D), "0B.", "0B "},
        {mode(D), "F4BEE070\t0B0", "F4BEE070\t0B "},
        // Hex to byte: pairs read by their leading hex digits.
        {mode(H), "0B 00 FF", "011 000 255"},
        {mode(H), ":3 3:", "000 003"},
        // Byte to hex: three digits at a time, at least two hex digits out.
        {mode(B), "011 000 255", "0B 00 FF"},
        {mode(B), "999", "3E7"},
        {mode(B), "25", ""},
        {mode(B), "256x", "100 "},
        // Length filters, in characters.
        {mode(TransformMode::Shorter16), sixteen.c_str(), sixteen},
        {mode(TransformMode::Shorter16), fifteen.c_str(), std::nullopt},
        {mode(TransformMode::Shorter16), "абвгдеёжзийклмн", std::nullopt},
        {mode(TransformMode::ShortStrings), eightyOne.c_str(), eightyOne},
        {mode(TransformMode::ShortStrings), eighty.c_str(), std::nullopt},
        // Packets 0B and 05: byte 4 among the hex characters of the data part;
        // a kept line keeps its whole stamp, or stays as it is.
        {mode(F), "1$F4BEE070\t00 00 00 00 0B 01", "F4BEE070\t00 00 00 00 0B 01"},
        {mode(F), "3$1145A3B28\t00 00 00 00 05", "1145A3B28\t00 00 00 00 05"},
        {mode(F), "12345678901\t00 00 00 00 05", "12345678901\t00 00 00 00 05"},
        {mode(F), "F4BEE070\t00 00 00 00 0B", "F4BEE070\t00 00 00 00 0B"},
        {mode(F), "1145A3B2A\t00 00 00 00 0B", "1145A3B2A\t00 00 00 00 0B"},
        {mode(F), "1$45A3B2A\t00 00 00 00 0B", "1$45A3B2A\t00 00 00 00 0B"},
        {mode(F), "0B    \t00000000\t05", "0B    \t00000000\t05"},
        {mode(F), "0000 0000 0B", "0000 0000 0B"},
        {mode(F), "1$F4BEE070\t00 00 00 00 0C", std::nullopt},
        {mode(F), "1$F4BEE070\t00 00 00 00 0b 05", std::nullopt},
        {mode(F), "1$F4BEE070\t00 00 00 00 0", std::nullopt},
        {mode(F), "0B 05 0B 05\t00", std::nullopt},
        // By mask: the exact two characters at any byte.
        {mask(4, "0B"), "1$F4BEE070\t00 00 00 00 0B", "F4BEE070\t00 00 00 00 0B"},
        {mask(4, "0B"), "1$F4BEE070\t00 00 00 00 05", std::nullopt},
        {mask(0, "1A"), "1A", "1A"},
        {mask(0, "A"), "0A", std::nullopt},
        {mask(0, "0AB"), "0A BB", std::nullopt},
        {mask(99, "00"), "00", std::nullopt},
        {mask(static_cast<std::size_t>(-1), "00"), "00 00", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("mode ") + std::to_string(static_cast<int>(c.transform.mode)) +
                     ": " + c.line);
        EXPECT_EQ(transformed(c.transform, c.line), c.expected);
    }
}

// A stamp is found by characters, not bytes: a UTF-8 letter in front of it
// moves the tab by a byte but not by a character.
TEST(LineTransform, StampPositionsCountCharacters) {
    const std::string line = "ё$F4BEE070\t00 00 00 00 0B";
    EXPECT_EQ(zelvar::TimeStampPrefix(line, zelvar::TextUnits::Utf8), "F4BEE070");
    EXPECT_EQ(zelvar::TimeStampPrefix(line, zelvar::TextUnits::Bytes), "");
    Transform bytes = mode(TransformMode::Packets0B05);
    bytes.units = zelvar::TextUnits::Bytes;
    EXPECT_EQ(transformed(bytes, line), line);

    Transform sixteen = mode(TransformMode::Shorter16);
    sixteen.units = zelvar::TextUnits::Bytes;
    EXPECT_EQ(transformed(sixteen, "абвгдежз"), "абвгдежз");  // 16 bytes
}

TEST(LineTransform, MaskBytePositionIsTheDigitsOfTheField) {
    EXPECT_EQ(zelvar::MaskTransform("4", "0B").bytePosition, 4u);
    EXPECT_EQ(zelvar::MaskTransform("a4", "0B").bytePosition, 4u);
    EXPECT_EQ(zelvar::MaskTransform("1x2", "0B").bytePosition, 12u);
    EXPECT_EQ(zelvar::MaskTransform("07", "05").typeText, "05");
    const struct {
        const char* text;
        const char* message;
    } refused[] = {
        {"", "'' is not a valid integer value"},
        {"Bx", "'' is not a valid integer value"},
        {"99999999999", "'99999999999' is not a valid integer value"},
    };
    for (const auto& r : refused) {
        try {
            zelvar::MaskTransform(r.text, "0B");
            ADD_FAILURE() << r.text << " was accepted";
        } catch (const zelvar::InvalidIntegerError& e) {
            EXPECT_STREQ(e.what(), r.message);
        }
    }
}
