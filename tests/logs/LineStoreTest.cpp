// The lines of a log view: the bytes they are saved as, snapshots that later
// changes leave alone, and edits checked against a plain string.
#include <gtest/gtest.h>

#include <QString>
#include <random>
#include <string>

#include "LineStore.h"
#include "LogFile.h"

namespace {

using zelvar::LineStore;
using zelvar::LogBytes;
using zelvar::TextPos;

QByteArray joinedBytes(const LogBytes& pieces) {
    QByteArray all;
    for (const QByteArray& piece : pieces) all += piece;
    return all;
}

// What the store should hold, as LF-joined text (empty: no line at all).
std::string storeText(const LineStore& store) {
    return store.text({}, store.endPos());
}

// As the views were saved so far; bytes that are no UTF-8 (half a character
// left by an edit) are compared as they are.
QByteArray savedAs(const std::string& joined) {
    if (joined.empty()) return {};
    const bool utf8 = QString::fromStdString(joined).toStdString() == joined;
    if (utf8) return zelvar::LogFileBytes(QString::fromStdString(joined));
    QByteArray bytes = QByteArray::fromStdString(joined).replace("\n", "\r\n");
    return bytes + "\r\n";
}

// Enough lines for several chunks.
std::string manyLines(int count) {
    std::string joined;
    for (int i = 0; i < count; ++i) {
        if (i) joined.push_back('\n');
        joined += "line " + std::to_string(i) + " 00 11 22 33 44 55 66 77 88 99 AA BB CC";
    }
    return joined;
}

TEST(LineStore, SavesTheBytesOfTheFileFormat) {
    LineStore store;
    store.appendLines("");
    EXPECT_TRUE(store.empty());  // an empty view gets no empty line
    store.appendLines("one\ntwo");
    store.appendLines("");
    store.appendLines("t\xc3\xa4st\tx");
    EXPECT_EQ(store.lineCount(), 4u);
    EXPECT_EQ(joinedBytes(store.snapshot()), QByteArray("one\r\ntwo\r\n\r\nt\xc3\xa4st\tx\r\n"));
    EXPECT_EQ(store.byteCount(), std::size_t(joinedBytes(store.snapshot()).size()));

    store.removeLastLine();
    store.removeLastLine();
    EXPECT_EQ(joinedBytes(store.snapshot()), QByteArray("one\r\ntwo\r\n"));
    store.removeLastLine();
    store.removeLastLine();
    store.removeLastLine();
    EXPECT_TRUE(store.empty());
    EXPECT_TRUE(store.snapshot().isEmpty());

    const std::string big = manyLines(100000);  // several chunks
    store.appendLines(big);
    EXPECT_EQ(store.lineCount(), 100000u);
    EXPECT_GT(store.snapshot().size(), 2);
    EXPECT_EQ(joinedBytes(store.snapshot()), savedAs(big));
    EXPECT_EQ(store.line(99999), big.substr(big.rfind('\n') + 1));
    EXPECT_EQ(store.byteCount(), big.size() + 100000 + 1);  // LF becomes CR LF
    store.clear();
    EXPECT_TRUE(store.empty());
    EXPECT_EQ(store.byteCount(), 0u);
}

// A decoding's lines, gathered beside a view, are taken over whole.
TEST(LineStore, TakesAnotherStoresLinesOverAsIfAppended) {
    const std::string first = manyLines(30000);
    const std::string second = manyLines(50000);
    LineStore store, more, plain;
    store.appendLines(first);
    more.appendLines(second);
    store.append(std::move(more));
    plain.appendLines(first + "\n" + second);
    EXPECT_TRUE(more.empty());
    EXPECT_EQ(store.lineCount(), plain.lineCount());
    EXPECT_EQ(store.byteCount(), plain.byteCount());
    EXPECT_EQ(storeText(store), storeText(plain));
    EXPECT_EQ(store.posAt(plain.offsetOf({40000, 3})), (TextPos{40000, 3}));
    store.appendLines("after");
    EXPECT_EQ(store.line(80000), "after");
    EXPECT_EQ(joinedBytes(store.snapshot()), savedAs(first + "\n" + second + "\nafter"));
}

TEST(LineStore, ASnapshotKeepsItsBytesWhateverFollows) {
    LineStore store;
    store.appendLines(manyLines(30000));
    const LogBytes before = store.snapshot();
    const QByteArray expected = joinedBytes(before);

    store.removeLastLine();
    store.appendLines("replaced last line");
    store.replace({5, 2}, {20000, 3}, "edit\nacross chunks");
    store.appendLines(manyLines(1000));
    EXPECT_EQ(joinedBytes(before), expected);
    store.clear();
    EXPECT_EQ(joinedBytes(before), expected);
}

// Random edits, appends and removals on the store and on a plain string:
// both hold the same text and agree on every place.
TEST(LineStore, EditsAgreeWithAPlainString) {
    std::mt19937 random(18);
    LineStore store;
    std::string model = manyLines(60000);  // three chunks and more
    store.appendLines(model);

    auto modelLines = [&model] {
        std::vector<std::string> lines;
        if (model.empty()) return lines;
        std::size_t begin = 0;
        while (true) {
            const std::size_t end = model.find('\n', begin);
            lines.push_back(model.substr(begin, end == std::string::npos ? end : end - begin));
            if (end == std::string::npos) return lines;
            begin = end + 1;
        }
    };
    const std::vector<std::string> pieces = {"", "x", "\xc3\xa4", "\n", "ab\ncd", "\n\n", "tail\n"};
    for (int round = 0; round < 400; ++round) {
        const std::size_t size = model.size();
        const std::size_t a = size ? random() % (size + 1) : 0;
        const std::size_t b = size ? random() % (size + 1) : 0;
        const std::size_t from = std::min(a, b);
        // Mostly short deletions, as keys and selections make them.
        const std::size_t to = round % 5 == 0 ? std::max(a, b) : std::min(size, from + random() % 3);
        const std::string& insert = pieces[random() % pieces.size()];
        switch (round % 7) {
            case 0:
                store.appendLines("appended");
                model += model.empty() ? "appended" : "\nappended";
                break;
            case 1: {
                store.removeLastLine();
                const std::size_t cut = model.rfind('\n');
                model.erase(cut == std::string::npos ? 0 : cut);
                break;
            }
            default: {
                const TextPos after =
                    store.replace(store.posAt(from), store.posAt(to), insert);
                model.replace(from, to - from, insert);
                ASSERT_EQ(store.offsetOf(after), from + insert.size()) << round;
            }
        }
        ASSERT_EQ(storeText(store), model) << round;
        const std::vector<std::string> lines = modelLines();
        ASSERT_EQ(store.lineCount(), lines.size()) << round;
        if (!lines.empty()) {
            const std::size_t probe = random() % lines.size();
            ASSERT_EQ(store.line(probe), lines[probe]) << round;
        }
        ASSERT_EQ(store.byteCount(), model.empty() ? 0 : model.size() + lines.size() + 1) << round;
        const std::size_t offset = model.empty() ? 0 : random() % (model.size() + 1);
        ASSERT_EQ(store.offsetOf(store.posAt(offset)), offset) << round;
        if (round % 50 == 0) {
            ASSERT_EQ(joinedBytes(store.snapshot()), savedAs(model)) << round;
        }
    }
    // Everything deleted leaves no line, as in a view never written to.
    store.replace({}, store.endPos(), "");
    EXPECT_TRUE(store.empty());
}

}  // namespace
