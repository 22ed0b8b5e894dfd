// File > Decode without a window: files that give nothing to decode, a stop
// asked for before the run begins, and the events it lets through.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QTimer>

#include "FakeWindow.h"

namespace {

using zelvar::LogPane;

class OfflineRunTest : public ::testing::Test, public FakeWindow {
protected:
    void expectIdle() const {
        EXPECT_TRUE(model.offlineDecoder().idle());
        EXPECT_TRUE(model.offlineDecoder().input().empty());
    }
};

TEST_F(OfflineRunTest, EmptyFileOrCancelChangesNothing) {
    model.decodeChosen();  // cancelled
    ASSERT_TRUE(writeAll(scratch("empty.hex"), ""));
    dialogs.openAnswers << scratch("empty.hex");
    model.decodeChosen();
    EXPECT_TRUE(view.text.empty());
    EXPECT_TRUE(view.hex.empty());
    EXPECT_EQ(dialogs.openDialogs, 2);
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(OfflineRunTest, UnreadableFileIsReportedAndChangesNothing) {
    model.appendTextLine("kept");
    // A terabyte no memory holds, a FIFO without a writer, a device of
    // endless bytes: each refused at once.
    QFile huge(scratch("huge.hex"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(qint64{1} << 40));
    ASSERT_EQ(::mkfifo(qPrintable(scratch("fifo.hex")), 0600), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), scratch("zero.hex")));
    const QStringList paths = {scratch("missing.hex"), scratch("."), scratch("huge.hex"),
                               scratch("fifo.hex"), scratch("zero.hex")};
    for (const QString& path : paths) {
        dialogs.openAnswers << path;
        model.decodeChosen();
    }
    ASSERT_EQ(dialogs.errors.size(), paths.size());
    EXPECT_TRUE(dialogs.errors[0].contains(QStringLiteral("missing.hex")));
    EXPECT_TRUE(dialogs.errors[2].contains(QStringLiteral("256 MiB")));
    model.flushLogViews();
    EXPECT_EQ(view.lines(LogPane::Text), QStringList{"kept"});
    EXPECT_TRUE(view.hex.empty());
    expectIdle();
}

// Esc pressed while the window draws the decoding's first changes stops that
// decoding, although it had not read a line yet.
TEST_F(OfflineRunTest, StopAskedBeforeTheDecodingBeginsHolds) {
    ASSERT_TRUE(writeAll(scratch("long.hex"), zelvar::test::LongHexLog(400000)));
    dialogs.openAnswers << scratch("long.hex");
    QTimer::singleShot(0, [this] { model.escapePressed(); });
    model.decodeChosen();
    EXPECT_TRUE(view.hex.empty());
    expectIdle();
}

// Window events run while a long log is read and while it is decoded; the
// views take its lines in one step at the end.
TEST_F(OfflineRunTest, EventsRunWhileALongLogIsReadAndDecoded) {
    model.setEventInterval(0);  // however fast this machine reads
    const std::size_t total = 400000;
    ASSERT_TRUE(writeAll(scratch("long.hex"), zelvar::test::LongHexLog(static_cast<int>(total))));
    dialogs.openAnswers << scratch("long.hex");
    bool whileRead = false;
    bool whileDecoded = false;
    bool viewsWaited = true;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const std::size_t read = model.offlineDecoder().input().size();
        whileRead = whileRead || (read > 0 && read < total && view.statusText(3).isEmpty());
        if (view.statusText(3) == QStringLiteral(" Decode...")) {
            whileDecoded = true;
            viewsWaited = viewsWaited && view.hex.empty();
        }
    });
    watch.start(0);
    model.decodeChosen();
    watch.stop();
    EXPECT_TRUE(whileRead);
    EXPECT_TRUE(whileDecoded);
    EXPECT_TRUE(viewsWaited);
    EXPECT_EQ(view.hex.lineCount(), total);
    EXPECT_EQ(view.lines(LogPane::Text).last(), QStringLiteral("End"));
}

}  // namespace
