#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "LogFormat.h"
#include "OfflineDecoder.h"
#include "RecordingOutput.h"

using namespace zelvar;
using zelvar::test::RecordingOutput;

namespace {

std::string hexBytes(std::size_t n, std::uint8_t type = 0x03, std::uint8_t fill = 0x00) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint8_t b = i == 4 ? type : fill;
        if (i == 15) b = 0x64;
        if (i == 17) b = 0x01;
        if (i == 18) b = 0xF4;
        if (i == 28) b = 0x11;
        static constexpr char digits[] = "0123456789ABCDEF";
        if (i != 0) out.push_back(' ');
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

// A text as an open file, read the way a log file is.
class MemoryFile {
public:
    explicit MemoryFile(std::string_view text) : fd_(memfd_create("log", MFD_CLOEXEC)) {
        EXPECT_EQ(write(fd_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        lseek(fd_, 0, SEEK_SET);
    }
    ~MemoryFile() { close(fd_); }
    int fd() const { return fd_; }

private:
    int fd_;
};

class OfflineDecoderTest : public ::testing::Test {
protected:
    void run(const std::vector<std::string>& lines, std::string_view title = "File: t.hex") {
        for (const auto& line : lines) offline.appendInput(line);
        decoder.ResetPortState();
        offline.DecodeLogLines(title);
    }

    Settings settings;
    DisplayMirrors mirrors;
    GpsState gps;
    RecordingOutput out;
    PackageDecoder decoder{settings, mirrors, gps, out};
    OfflineDecoder offline{decoder, mirrors};
};

}  // namespace

TEST(LogLineSyntax, StampedLinesByTheirTabPosition) {
    auto p = SplitLogLine("1$F4BEE070\t00 01");
    EXPECT_EQ(p.portDigit, '1');
    EXPECT_EQ(p.stamp, "F4BEE070");
    EXPECT_EQ(p.data, "00 01");
    p = SplitLogLine("4$1145A3B28\t00");
    EXPECT_EQ(p.portDigit, '4');
    EXPECT_EQ(p.stamp, "1145A3B28");
    // A TAB elsewhere makes the whole line data of port 1.
    p = SplitLogLine("1$F4BEE07\t00 01");
    EXPECT_EQ(p.portDigit, '1');
    EXPECT_TRUE(p.stamp.empty());
    EXPECT_EQ(p.data, "1$F4BEE07\t00 01");
    p = SplitLogLine("");
    EXPECT_TRUE(p.data.empty());
}

TEST(LogLineSyntax, DataCharacters) {
    std::uint8_t bytes[128] = {};
    EXPECT_EQ(ParseLogData("0a 1b", bytes, 128), 1u);
    EXPECT_EQ(bytes[0], 0x01);
    EXPECT_EQ(ParseLogData("3: :3 A@ FF 7", bytes, 128), 4u);
    EXPECT_EQ(bytes[0], 3);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(bytes[2], 10);
    EXPECT_EQ(bytes[3], 0xFF);
    EXPECT_EQ(ParseLogData(" \t-xyz", bytes, 128), 0u);
    // At most the buffer's worth is stored.
    std::string many(400, 'A');
    EXPECT_EQ(ParseLogData(many, bytes, 128), 128u);
}

TEST_F(OfflineDecoderTest, StampedCallIsDecodedAndRegeneratedExactly) {
    const std::string line = "1$F4BEE070\t" + hexBytes(30);
    settings.IDFilter = false;
    run({line});
    ASSERT_EQ(out.text.size(), 4u);
    EXPECT_EQ(out.text[0], "File: t.hex");
    EXPECT_EQ(out.text[1], TextHeader);
    EXPECT_EQ(out.text[2],
              "03\t1\t01.06.2012 12:00:00\tGroup  \t100     \t500     \t1  \toff\t1  \t-");
    EXPECT_EQ(out.text[3], "End");
    ASSERT_EQ(out.hex.size(), 1u);
    EXPECT_EQ(out.hex[0], line);
    EXPECT_EQ(out.shows, 1);
    EXPECT_EQ(out.progress, (std::vector<std::string>{" Decode...", " Display...", ""}));
    EXPECT_EQ(out.counts.back(), " T 1 / H 1");
    EXPECT_TRUE(offline.idle());
    EXPECT_TRUE(offline.input().empty());
    EXPECT_TRUE(decoder.decodedTextLines().empty());
}

TEST_F(OfflineDecoderTest, NineDigitStampsAndBareLines) {
    settings.IDFilter = false;
    run({"2$1145A3B28\t" + hexBytes(63), hexBytes(30)});
    ASSERT_EQ(out.text.size(), 5u);
    EXPECT_NE(out.text[2].find("\t2\t08.12.2026 06:00:00\t"), std::string::npos);
    EXPECT_NE(out.text[3].find("\t1\tTime is Unknown    \t"), std::string::npos);
    EXPECT_EQ(out.hex[1], hexBytes(30));
}

// A saved hex line comes back as it was; any other spelling of the same
// package comes back in the hex log's own form.
TEST_F(OfflineDecoderTest, HexLinesAreRegeneratedInTheHexLogsOwnForm) {
    const std::string data = hexBytes(30);
    const std::string saved = "1$F4BEE070\t" + data;
    run({saved, "1#F4BEE070\t" + data, saved + " ", "1$F4BEE070\t " + data, "00  1A 7",
         "00 1a FF"});
    EXPECT_EQ(out.hex, (std::vector<std::string>{saved, saved, saved, saved, "00 1A", "00 1F"}));
}

TEST_F(OfflineDecoderTest, LinesWithoutAUsablePackageAreSkipped) {
    run({"5$F4BEE070\t" + hexBytes(30), "1$F4BEE070\t" + hexBytes(64), "", "no data here",
         "1$F4BEE070\t"});
    EXPECT_EQ(out.text, (std::vector<std::string>{"File: t.hex", std::string(TextHeader), "End"}));
    EXPECT_TRUE(out.hex.empty());
    EXPECT_EQ(out.counts.back(), " T 0 / H 0");
}

TEST_F(OfflineDecoderTest, OnlyRssiHeaderAndShortFormEvenWithGps) {
    mirrors.OnlyRSSI = true;
    gps.Connected = true;
    settings.IDFilter = false;
    run({"1$F4BEE070\t00 00 00 00 0F 00 00 00 00 00 00 5A 00", "1$F4BEE070\t" + hexBytes(30)});
    EXPECT_EQ(out.text, (std::vector<std::string>{"File: t.hex", "Port\tTime                 \tdBm",
                                                  "1\t01.06.2012 12:00:00\t-90", "End"}));
    EXPECT_EQ(out.hex.size(), 2u);
}

TEST_F(OfflineDecoderTest, EscStopsTheRunAndKeepsWhatWasDecoded) {
    settings.IDFilter = false;
    std::vector<std::string> lines(1000, "1$F4BEE070\t" + hexBytes(30));
    out.onPendingEvents = [&] {
        if (out.pendingEventRuns == 10) offline.requestAbort();
    };
    run(lines);
    EXPECT_EQ(out.text.size(), 2u + 10u + 1u);
    EXPECT_EQ(out.text.back(), "Esc");
    EXPECT_EQ(out.hex.size(), 10u);
    EXPECT_TRUE(offline.idle());
    // The next run starts afresh and runs to its end.
    out.text.clear();
    out.onPendingEvents = nullptr;
    run({"1$F4BEE070\t" + hexBytes(30)});
    EXPECT_EQ(out.text.back(), "End");
}

TEST_F(OfflineDecoderTest, DecoderIsBusyWhileRunning) {
    bool idleSeen = true;
    out.onPendingEvents = [&] { idleSeen = offline.idle(); };
    run({hexBytes(5)});
    EXPECT_FALSE(idleSeen);
    EXPECT_TRUE(offline.idle());
}

TEST(LineListTest, SplitsFileTextLikeTheEditorReadsIt) {
    const auto lines = LineList::fromText("a\r\nb\nc\rd\r\n\r\ne");
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "a");
    EXPECT_EQ(lines[3], "d");
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(lines[5], "e");
    EXPECT_EQ(LineList::fromText("a\r\n").size(), 1u);
    EXPECT_EQ(LineList::fromText("").size(), 0u);
    EXPECT_EQ(LineList::fromText("\r\n").size(), 1u);
    EXPECT_EQ(lines.joined(), "a\nb\nc\nd\n\ne");
    EXPECT_EQ(lines.text(), "a\nb\nc\nd\n\ne\n");
    EXPECT_EQ(LineList::fromText("x\r").text(), "x\n");
    EXPECT_EQ(LineList::fromText("\n\nx").text(), "\n\nx\n");
}

// Every block size puts the block boundary somewhere else: inside a line,
// between a CR and its LF, right after a lone CR at the end of the text.
TEST(LogLineReaderTest, SplitsLikeTheWholeTextWhereverTheBlocksEnd) {
    for (const std::string text : {"a\r\nb\nc\rd\r\n\r\ne", "\r\r\n\n\rxyz\r", "\n\nx", "a\r\n"}) {
        const LineList whole = LineList::fromText(text);
        for (const std::size_t block : {1u, 2u, 3u, 5u, 256u}) {
            SCOPED_TRACE(::testing::Message() << text.size() << " chars in blocks of " << block);
            MemoryFile file(text);
            LogLineReader reader(file.fd(), block);
            std::string_view line;
            std::size_t i = 0;
            while (reader.next(line)) {
                ASSERT_LT(i, whole.size());
                EXPECT_EQ(line, whole[i++]);
            }
            EXPECT_EQ(i, whole.size());
        }
    }
}

// Lines over the limit are left out and counted, whether they end in the
// block that overflows, in a later one, or not at all.
TEST(LogLineReaderTest, SkipsAndCountsOverlongLines) {
    for (const std::string text : {"ab\r\nabcdefg\r\nc\rlonger\rd\n", "abcdefgh", "x\nabcdef\r\nyz",
                                   "abcd\r\n\r\n"}) {
        const LineList whole = LineList::fromText(text);
        std::vector<std::string_view> kept;
        std::size_t overlong = 0;
        for (std::size_t i = 0; i < whole.size(); ++i) {
            if (whole[i].size() <= 3) kept.push_back(whole[i]);
            else ++overlong;
        }
        for (const std::size_t block : {1u, 2u, 3u, 5u, 256u}) {
            SCOPED_TRACE(::testing::Message() << text.size() << " chars in blocks of " << block);
            MemoryFile file(text);
            LogLineReader reader(file.fd(), block, 3);
            std::vector<std::string> lines;
            std::string_view line;
            while (reader.next(line)) lines.emplace_back(line);
            EXPECT_EQ(lines, std::vector<std::string>(kept.begin(), kept.end()));
            EXPECT_EQ(reader.skippedLines(), overlong);
        }
    }
}

TEST(LogLineReaderTest, ReadErrorIsThrown) {
    const int folder = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    LogLineReader reader(folder);
    std::string_view line;
    EXPECT_THROW(reader.next(line), std::system_error);
    close(folder);
}

// File > Decode keeps the whole log: in no more memory than the file, however
// many blank lines it holds.
TEST(InputLineListTest, TakesNoMoreMemoryThanTheFile) {
    std::string text(1'000'000, '\n');
    text += "1$F4BEE070\t00 01\r\n\r\n";
    MemoryFile file(text);
    InputLineList lines;
    lines.reserve(text.size() + 1);
    LogLineReader reader(file.fd());
    std::string_view line;
    while (reader.next(line)) lines.append(line);
    EXPECT_EQ(lines.size(), 1'000'002u);
    EXPECT_EQ(lines.nonBlankLines(), 1u);
    EXPECT_LE(lines.capacity(), text.size() + 1);
    InputLineList::Reader back(lines);
    std::size_t blank = 0;
    while (back.next(line) && line.empty()) ++blank;
    EXPECT_EQ(blank, 1'000'000u);
    EXPECT_EQ(line, "1$F4BEE070\t00 01");
}

// Lines of every length read back across the blocks they lie in, and a
// decoding's reader gives each block back once past it.
TEST(InputLineListTest, AReleasingReaderGivesTheBlocksBackAsItReads) {
    InputLineList lines;
    std::vector<std::string> written;
    for (std::size_t i = 0; written.size() < 40000; ++i) {
        written.push_back(std::string(i * 7919 % 200, static_cast<char>('a' + i % 26)));
        lines.append(written.back());
    }
    lines.append(std::string(3 << 20, 'x'));  // longer than a block
    written.push_back(std::string(3 << 20, 'x'));
    const std::size_t whole = lines.capacity();
    for (const bool releasing : {false, true}) {
        auto back = releasing ? InputLineList::Reader::releasing(lines) : InputLineList::Reader(lines);
        std::size_t count = 0;
        std::string_view line;
        while (back.next(line)) {
            ASSERT_EQ(line, written[count]) << count;
            if (++count == written.size() / 2) {
                EXPECT_EQ(lines.capacity() < whole, releasing);
            }
        }
        EXPECT_EQ(count, written.size());
    }
    EXPECT_LT(lines.capacity(), 1024u);  // every block given back
}

// The editor's "Decode..." hands over its text, which the list reads where it
// lies, counting as appending its lines would; a line added later goes to a
// copy of its own.
TEST(InputLineListTest, ReadsASharedTextWhereItLies) {
    const auto text = std::make_shared<const std::string>("a\n\nb\n");
    InputLineList lines;
    lines.share(text);
    EXPECT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines.nonBlankLines(), 2u);
    EXPECT_EQ(lines.chars(), 2u);
    lines.append("c");
    EXPECT_EQ(*text, "a\n\nb\n");
    InputLineList::Reader back(lines);
    std::string read;
    for (std::string_view line; back.next(line);) read.append(line).push_back('|');
    EXPECT_EQ(read, "a||b|c|");
}
