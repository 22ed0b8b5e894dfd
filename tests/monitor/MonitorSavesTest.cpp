// The views on their way to the disk, without a window: Clear with and
// without auto-save, the rollover and Save As.
#include <gtest/gtest.h>

#include <QRegularExpression>

#include "FakeWindow.h"

namespace {

using zelvar::LogPane;
using zelvar::ViewToggle;

// A 14-digit stamp and the extension.
const QRegularExpression kAutoSaveName(QStringLiteral("^\\d{14}\\.(txt|hex)$"));

class MonitorSavesTest : public ::testing::Test, public FakeWindow {
protected:
    MonitorSavesTest() { start(); }

    // `live`: as after a datagram from a transceiver; offline decoding never
    // marks the views as unsaved.
    void fillViews(bool live = true) {
        model.appendTextLine("text one");
        model.appendTextLine("text two");
        model.appendHexLine("1$F4BEE070\t00 01");
        if (live) model.liveDataReceived();
    }
    // The file of each extension in the Files folder.
    QString onlyFile(const QString& extension) const {
        QStringList found;
        for (const QString& file : savedFiles()) {
            if (file.endsWith(extension)) found << file;
        }
        return found.size() == 1 ? QDir(filesDir()).filePath(found.front()) : QString();
    }
    // Makes the Files folder impossible to write into: a plain file of that name.
    void blockFilesFolder() {
        QDir(dir.path()).rmdir(QStringLiteral("Files"));
        ASSERT_TRUE(writeAll(filesDir(), "not a folder"));
    }
};

TEST_F(MonitorSavesTest, ClearWithoutNewDataWritesNothing) {
    fillViews(false);
    model.sessionParts().decoder.setCounts(5, 0);
    model.setCountsText(" T 5 / H 5");
    model.flushLogViews();
    model.clearChosen();
    EXPECT_TRUE(savedFiles().isEmpty());
    EXPECT_TRUE(view.text.empty());
    EXPECT_TRUE(view.hex.empty());
    EXPECT_EQ(view.statusText(2), QString());
    EXPECT_EQ(model.decoder().textCount(), 0);
}

TEST_F(MonitorSavesTest, ClearAutoSavesBothViewsWithCrLf) {
    fillViews();
    model.clearChosen();
    const QStringList files = savedFiles();
    ASSERT_EQ(files.size(), 2);
    for (const QString& file : files) EXPECT_TRUE(kAutoSaveName.match(file).hasMatch()) << file.toStdString();
    // Both files of one save share the stamp.
    EXPECT_EQ(files[0].left(14), files[1].left(14));
    EXPECT_EQ(readAll(onlyFile(".txt")), QByteArray("text one\r\ntext two\r\n"));
    EXPECT_EQ(readAll(onlyFile(".hex")), QByteArray("1$F4BEE070\t00 01\r\n"));
    EXPECT_TRUE(model.logsSaved());
    EXPECT_TRUE(view.text.empty());
    EXPECT_TRUE(view.hex.empty());
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(MonitorSavesTest, ClearSkipsTheHexFileWithHexLogOff) {
    view.toggles[ViewToggle::HexLog] = false;
    fillViews();
    model.clearChosen();
    EXPECT_EQ(savedFiles().size(), 1);
    EXPECT_FALSE(onlyFile(".txt").isEmpty());
    EXPECT_TRUE(view.hex.empty());
}

TEST_F(MonitorSavesTest, ClearWithEditorShownWritesNothing) {
    view.toggles[ViewToggle::EditorShown] = true;
    fillViews();
    model.clearChosen();
    EXPECT_TRUE(savedFiles().isEmpty());
    EXPECT_TRUE(view.text.empty());
    EXPECT_FALSE(model.logsSaved());
}

TEST_F(MonitorSavesTest, RolloverWithoutHexLogWritesOnlyText) {
    view.toggles[ViewToggle::HexLog] = false;
    fillViews();
    model.flushLogViews();
    model.sessionParts().decoder.setCounts(65536, 70000);
    model.rolloverCheck();
    model.finishBackgroundSaves();
    EXPECT_EQ(savedFiles().size(), 1);
    EXPECT_FALSE(onlyFile(".txt").isEmpty());
    EXPECT_TRUE(view.text.empty());
    EXPECT_EQ(view.hex.lineCount(), 1u);
    EXPECT_EQ(model.decoder().textCount(), 0);
    EXPECT_EQ(model.decoder().hexCount(), 70000);
}

TEST_F(MonitorSavesTest, RolloverNeedsNewFileEvery65535) {
    view.toggles[ViewToggle::NewFileEvery65535] = false;
    fillViews();
    model.sessionParts().decoder.setCounts(0, 100000);
    model.rolloverCheck();
    EXPECT_TRUE(savedFiles().isEmpty());
    EXPECT_EQ(model.decoder().hexCount(), 100000);

    // A failing rollover keeps its logs waiting, with the counts reset.
    view.toggles[ViewToggle::NewFileEvery65535] = true;
    blockFilesFolder();
    model.rolloverCheck();
    model.finishBackgroundSaves();
    EXPECT_EQ(model.decoder().hexCount(), 0);
    EXPECT_TRUE(model.backgroundSavesFailing());
    EXPECT_FALSE(model.logsSaved());
}

TEST_F(MonitorSavesTest, SaveAsNamesTheFilesAfterTheChosenName) {
    model.saveAsChosen();
    EXPECT_EQ(dialogs.saveDialogs, 0);  // both views empty: no dialog

    view.toggles[ViewToggle::HexLog] = false;  // Save As writes the hex view whatever "Hex Log" says
    fillViews();
    ASSERT_TRUE(writeAll(scratch("log.txt.txt"), "old"));
    dialogs.saveAnswers << scratch("log.txt");
    model.saveAsChosen();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{14}$")).match(dialogs.proposedName).hasMatch());
    EXPECT_EQ(readAll(scratch("log.txt.txt")), QByteArray("text one\r\ntext two\r\n"));
    EXPECT_EQ(readAll(scratch("log.txt.hex")), QByteArray("1$F4BEE070\t00 01\r\n"));
    EXPECT_FALSE(QFile::exists(scratch("log.txt")));
    EXPECT_TRUE(model.logsSaved());
    EXPECT_TRUE(savedFiles().isEmpty());

    // Cancelled: nothing written.
    model.saveAsChosen();
    EXPECT_EQ(dialogs.saveDialogs, 2);
    EXPECT_EQ(QDir(dir.path()).entryList({"log*"}, QDir::Files).size(), 2);
}

TEST_F(MonitorSavesTest, SaveAsWritesOnlyNonEmptyViews) {
    model.appendHexLine("00 01 02");
    dialogs.saveAnswers << scratch("hexonly");
    model.saveAsChosen();
    EXPECT_FALSE(QFile::exists(scratch("hexonly.txt")));
    EXPECT_EQ(readAll(scratch("hexonly.hex")), QByteArray("00 01 02\r\n"));
}

}  // namespace
