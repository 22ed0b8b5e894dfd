// The RTF reader and writer and the plain-text rules: round trips, the
// styles of the word processors, each reading rule and hostile input.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "CodePages.h"
#include "DocumentText.h"
#include "EditorText.h"
#include "Rtf.h"

namespace zelvar {
namespace {

std::string utf8(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string utf16(std::string_view text) {
    return DecodePlainText(text);
}

// The text with each marked run in braces: R red, B blue, b bold.
std::string shown(const RichText& document) {
    std::string out;
    std::size_t at = 0;
    for (const MarkRun& run : document.runs) {
        const std::string part = utf8(std::u16string_view(document.text).substr(at, run.length));
        at += run.length;
        std::string tag;
        if (run.marks.color == MarkColor::Red) tag += 'R';
        if (run.marks.color == MarkColor::Blue) tag += 'B';
        if (run.marks.bold) tag += 'b';
        out += tag.empty() ? part : "{" + tag + ":" + part + "}";
    }
    EXPECT_EQ(at, document.text.size()) << "runs must cover the text";
    return out;
}

std::string readSample(const char* name) {
    std::ifstream file(std::string(ZELVAR_TEST_DATA) + "/" + name, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

TEST(RtfReader, ReadsTheWordProcessorsStyles) {
    EXPECT_EQ(shown(ReadDocumentBytes(readSample("wordpad-style.rtf"))),
              "1$451C2A0B\t00 11 {R:0B} 22\n{b:Пример} {B:blue}\ncafé {x}");
    EXPECT_EQ(shown(ReadDocumentBytes(readSample("libreoffice-style.rtf"))),
              "1$451C2A0B\t00 11 {R:0B} 22\n{b:Пример} {B:blue}\nlink café end");
}

struct ReaderCase {
    const char* name;
    std::string rtf;
    const char* shows;
};

void PrintTo(const ReaderCase& readerCase, std::ostream* out) {
    *out << readerCase.name;
}

class RtfReaderCases : public testing::TestWithParam<ReaderCase> {};

TEST_P(RtfReaderCases, Reads) {
    EXPECT_EQ(shown(ReadRtf(GetParam().rtf)), GetParam().shows);
}

const std::string kTable = R"({\colortbl ;\red255\green0\blue0;\red0\green0\blue255;})";

INSTANTIATE_TEST_SUITE_P(
    Rules, RtfReaderCases,
    testing::Values(
        ReaderCase{"breaks", R"({\rtf1 a\par b\line c\tab d\cell e\row f\par\par})",
                   "a\nb\nc\td\te\nf\n"},
        ReaderCase{"fileLineEndsAreNoText", "{\\rtf1 a\r\nb\n\\\nc}", "ab\nc"},
        ReaderCase{"escapes", R"({\rtf1 \\ \{ \} a\~b\-c\_d \emdash\bullet})",
                   "\\ { } a\u00A0bc\u2011d \u2014\u2022"},
        ReaderCase{"hexBytesIn1251", R"({\rtf1\ansi\ansicpg1251 \'cf\'f0\'e8 \'88})", "При €"},
        ReaderCase{"hexBytesIn1252", R"({\rtf1\ansi\ansicpg1252 caf\'e9 \'80})", "café €"},
        ReaderCase{"hexBytesWithoutCodePageAre1252", R"({\rtf1\ansi caf\'e9})", "café"},
        ReaderCase{
            "fontCharsetOverridesDocument",
            R"({\rtf1\ansi\ansicpg1252{\fonttbl{\f0 A;}{\f1\fcharset204 B;}}\'e9\f1\'e9\plain\'e9})",
            "éйé"},
        ReaderCase{"unicodeSkipsItsFallback", R"({\rtf1\uc1\u1055?\u1088\'f0 x})", "Пр x"},
        ReaderCase{"unicodeSkipCountsPerGroup", R"({\rtf1\uc2\u1055??{\uc0\u1088}\u1080\'e8\'e8x})",
                   "Приx"},
        ReaderCase{"negativeUnicode", R"({\rtf1\uc0\u-200\u-1})", "\uFF38\uFFFF"},
        ReaderCase{"braceEndsTheFallback", R"({\rtf1\uc3{\u1055}ab})", "Пab"},
        ReaderCase{
            "ignorableAndSkippedDestinations",
            R"({\rtf1{\*\unknown x}{\*\generator y}{\info{\title z}}{\pict 0a0b}{\header h}a})",
            "a"},
        ReaderCase{"fieldShowsItsResult",
                   R"({\rtf1{\field{\*\fldinst HYPERLINK x}{\fldrslt link}}})", "link"},
        ReaderCase{"binarySkipsBracesAndBackslashes", "{\\rtf1 a\\bin4 }{\\\\b}", "ab"},
        ReaderCase{"hiddenText", R"({\rtf1 a{\v hidden}b\v c\v0 d})", "abd"},
        ReaderCase{"colours", "{\\rtf1" + kTable + R"(a\cf1 b\cf2 c\cf0 d{\cf1 e}f})",
                   "a{R:b}{B:c}d{R:e}f"},
        ReaderCase{
            "nearestColours",
            R"({\rtf1{\colortbl;\red201\green33\blue30;\red42\green96\blue153;\red255\green255\blue255;\red0\green128\blue0;}\cf1 r\cf2 b\cf3 w\cf4 g})",
            "{R:r}{B:b}wg"},
        ReaderCase{"colourOutsideTheTableIsBlack",
                   "{\\rtf1" + kTable + R"(\cf1 a\cf3 b\cf1 c\cf-1 d\cf99999999999999 e})",
                   "{R:a}b{R:c}de"},
        ReaderCase{"boldAndGroups", R"({\rtf1 a\b b{\b0 c}d\b0 e\b1 f\plain g})",
                   "a{b:b}c{b:d}e{b:f}g"},
        ReaderCase{"plainResetsColour", "{\\rtf1" + kTable + R"(\cf2\b a\plain b})", "{Bb:a}b"},
        ReaderCase{"truncatedShowsTheTextSoFar", "{\\rtf1" + kTable + R"(a\cf1\b bc\'c)",
                   "a{Rb:bc}"},
        ReaderCase{"truncatedInsideAWord", R"({\rtf1 ab\pa)", "ab"},
        ReaderCase{"afterTheDocumentNothing", R"({\rtf1 a}b{c})", "a"},
        ReaderCase{"hugeNumbers",
                   R"({\rtf1\u99999999999999999999 a\uc-7\u1055 b\bin99999999999 c})", "\uFFFDПb"},
        ReaderCase{"negativeBinary", R"({\rtf1 a\bin-5 b})", "ab"},
        ReaderCase{"badHexBytes", R"({\rtf1\ansicpg1251 a\'zz\'e})", "azz"},
        ReaderCase{"longControlWord", "{\\rtf1 a\\" + std::string(100, 'x') + " b}", "ab"}),
    [](const testing::TestParamInfo<ReaderCase>& param) { return param.param.name; });

TEST(RtfReader, DeepNestingIsSkippedNotStacked) {
    const std::string deep =
        "{\\rtf1 a" + std::string(200000, '{') + "b" + std::string(200000, '}') + " c}";
    EXPECT_EQ(shown(ReadRtf(deep)), "a c");
    // Unclosed: nothing is left to show after the opening text.
    EXPECT_EQ(shown(ReadRtf("{\\rtf1 a" + std::string(200000, '{'))), "a");
}

TEST(RtfReader, TextNeverOutgrowsTheInput) {
    const std::string many = "{\\rtf1 " + std::string(10000, '~');
    EXPECT_LE(ReadRtf(many).text.size(), many.size());
}

RichText sampleDocument() {
    RichText document;
    document.append(u"1$451C2A0B\t00 11 ", {});
    document.append(u"0B", {MarkColor::Red, false});
    document.append(u" 22\nПример ", {MarkColor::Black, true});
    document.append(u"синий", {MarkColor::Blue, true});
    document.append(u" \\{}\u0001 Ω中€", {MarkColor::Blue, false});
    document.append(u"\U0001F600 \uFFFF\u8000\n\n", {MarkColor::Red, true});
    return document;
}

TEST(RtfWriter, RoundTripKeepsTextAndMarks) {
    const RichText document = sampleDocument();
    EXPECT_EQ(ReadRtf(WriteRtf(document)), document);
    for (const char16_t* text : {u"", u"\n", u"a", u"a\n", u"\na"}) {
        RichText plain;
        plain.append(std::u16string_view(text), {});
        EXPECT_EQ(ReadRtf(WriteRtf(plain)), plain) << utf8(text);
    }
}

TEST(RtfWriter, WritesTheCyrillicCodePageFontAndColours) {
    const std::string rtf = WriteRtf(sampleDocument());
    EXPECT_TRUE(rtf.starts_with("{\\rtf1\\ansi\\ansicpg1251"));
    EXPECT_NE(rtf.find("{\\fonttbl{\\f0\\fmodern\\fprq1\\fcharset204 Courier New;}}"),
              std::string::npos);
    EXPECT_NE(rtf.find("{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"),
              std::string::npos);
    // Cyrillic falls back to its 1251 byte, the rest to '?'; above 32767 negative.
    EXPECT_NE(rtf.find("\\u1055\\'cf"), std::string::npos);
    EXPECT_NE(rtf.find("\\u937?"), std::string::npos);
    EXPECT_NE(rtf.find("\\u-32768?"), std::string::npos);
    EXPECT_NE(rtf.find("\\par\r\n"), std::string::npos);
    for (const char c : rtf) EXPECT_LT(static_cast<unsigned char>(c), 0x80);
}

TEST(RtfWriter, Utf8TextWritesAsItsUtf16) {
    RichText document;
    document.append(u"ab Ж\n", {});
    document.append(u"𝄞", {MarkColor::Red, false});
    document.append(u"{x}\t\u2028", {MarkColor::Blue, true});
    const std::string utf8 = Utf8Of(document.text);
    EXPECT_EQ(WriteRtf(utf8, document.text.size(), document.runs), WriteRtf(document));
    // A run that ends inside a pair splits it as in UTF-16.
    const std::vector<MarkRun> split{{6, {}}, {1, {MarkColor::Red, false}}, {5, {}}};
    EXPECT_EQ(WriteRtf(utf8, document.text.size(), split), WriteRtf(document.text, split));
}

TEST(RtfWriter, TenThousandMarkedLinesRoundTrip) {
    RichText document;
    for (int line = 0; line < 10000; ++line) {
        const std::u16string number = utf16(std::to_string(line));
        document.append(u"1$451C2A0B\t00 11 22 ", {});
        const Marks marks{line % 3 == 0   ? MarkColor::Red
                          : line % 3 == 1 ? MarkColor::Blue
                                          : MarkColor::Black,
                          line % 7 == 0};
        document.append(number + u" Строка", marks);
        document.append(u"\n", {});
    }
    EXPECT_EQ(ReadRtf(WriteRtf(document)), document);
}

TEST(DocumentText, ContentDecidesRtfOrPlain) {
    EXPECT_TRUE(LooksLikeRtf("{\\rtf1 a}"));
    EXPECT_TRUE(LooksLikeRtf("\xEF\xBB\xBF \r\n\t{\\rtf1 a}"));
    EXPECT_FALSE(LooksLikeRtf("1$451C2A0B\t00 {\\rtf1}"));
    EXPECT_FALSE(LooksLikeRtf("{\\rt"));
    EXPECT_EQ(shown(ReadDocumentBytes("{\\rtf1 \\b a")), "{b:a}");
    EXPECT_EQ(shown(ReadDocumentBytes("{\\rt\\b a")), "{\\rt\\b a");
    // What comes before the document's brace is not part of its text.
    EXPECT_EQ(shown(ReadDocumentBytes("\xEF\xBB\xBF{\\rtf1 \\b a}")), "{b:a}");
    EXPECT_EQ(shown(ReadDocumentBytes(" \t\r\n {\\rtf1 a}")), "a");
    EXPECT_EQ(shown(ReadDocumentBytes("\xEF\xBB\xBF\t\r\n{\\rtf1 a}")), "a");
}

// Read in its own buffer, a UTF-8 file gives the text DecodePlainText gives;
// RTF and other bytes are left to it.
TEST(DocumentText, PlainUtf8TextIsTheDecodedText) {
    for (const std::string bytes :
         {"", "a\r\nb\rc\n\r", "\r\r\n\n", "\xEF\xBB\xBFЖ\r\nx\r", "1$451C2A0B\t00 0B\r\n"}) {
        std::string text = bytes;
        ASSERT_TRUE(PlainUtf8Text(text)) << bytes;
        EXPECT_EQ(text, Utf8Of(DecodePlainText(bytes))) << bytes;
    }
    for (const std::string bytes : {"\xC6\r\n", "{\\rtf1 a}"}) {
        std::string text = bytes;
        EXPECT_FALSE(PlainUtf8Text(text));
        EXPECT_EQ(text, bytes);
    }
}

TEST(DocumentText, PlainTextIsUtf8ElseWindows1251) {
    EXPECT_EQ(utf8(DecodePlainText("\xEF\xBB\xBFПример\r\nб\rв\n")), "Пример\nб\nв\n");
    EXPECT_EQ(utf8(DecodePlainText("\xCF\xF0\xE8\xEC\xE5\xF0 \x88")), "Пример €");
    // A byte-order mark before text that is not UTF-8 after all is no text.
    EXPECT_EQ(utf8(DecodePlainText("\xEF\xBB\xBF\xCF\xF0\xE8\xEC\xE5\xF0")), "Пример");
    // Overlong and surrogate forms are not UTF-8.
    EXPECT_EQ(utf8(DecodePlainText("\xC0\xAF")), "АЇ");
    EXPECT_EQ(utf8(DecodePlainText("\xED\xA0\x80")), "н\u00A0Ђ");
    EXPECT_EQ(utf8(DecodePlainText("\xF0\x9F\x98\x80")), "\U0001F600");
}

TEST(CodePages, EveryByteRoundTrips) {
    for (const CodePage page : {CodePage::Cp1251, CodePage::Cp1252}) {
        for (int byte = 0; byte < 256; ++byte) {
            const char16_t unit = ByteToUnicode(static_cast<unsigned char>(byte), page);
            if (unit != u'\uFFFD') {
                EXPECT_EQ(UnicodeToByte(unit, page), byte);
            }
        }
    }
}

TEST(NearestMarkColor, ByHueWithGreysBlack) {
    EXPECT_EQ(NearestMarkColor(255, 0, 0), MarkColor::Red);
    EXPECT_EQ(NearestMarkColor(128, 0, 0), MarkColor::Red);
    EXPECT_EQ(NearestMarkColor(255, 128, 0), MarkColor::Red);  // orange
    EXPECT_EQ(NearestMarkColor(0, 0, 255), MarkColor::Blue);
    EXPECT_EQ(NearestMarkColor(0, 255, 255), MarkColor::Blue);  // cyan
    EXPECT_EQ(NearestMarkColor(0, 160, 0), MarkColor::Black);   // green
    EXPECT_EQ(NearestMarkColor(255, 255, 255), MarkColor::Black);
    EXPECT_EQ(NearestMarkColor(150, 120, 120), MarkColor::Black);  // greyish
}

}  // namespace
}  // namespace zelvar
