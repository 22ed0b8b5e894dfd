// The log views' files: Clear and close with and without auto-save, a
// folder that cannot be written, the rollover, Save As and the clipboard.
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextCursor>

#include "DateTime.h"
#include "MainHarness.h"

namespace {

// A 14-digit stamp and the extension.
const QRegularExpression kAutoSaveName(QStringLiteral("^\\d{14}\\.(txt|hex)$"));

// The file of each extension in the Files folder.
QString onlyFile(const MainHarness& h, const QString& extension) {
    QStringList found;
    for (const QString& name : h.savedFiles()) {
        if (name.endsWith(extension)) found << name;
    }
    return found.size() == 1 ? QDir(h.filesDir()).filePath(found.front()) : QString();
}

// Makes the Files folder impossible to write into: a plain file of that name.
void blockFilesFolder(const MainHarness& h) {
    QDir(h.workDir()).rmdir(QStringLiteral("Files"));
    MainHarness::writeAll(h.filesDir(), "not a folder");
}

void fillViews(TMainForm& w) {
    w.appendTextLine("text one");
    w.appendTextLine("text two");
    w.appendHexLine("1$F4BEE070\t00 01");
    w.LogsSaved = false;  // as after a datagram from a transceiver
}

}  // namespace

class LogFilesTest : public QObject {
    Q_OBJECT

private slots:
    void clearWithoutNewDataWritesNothing();
    void clearAutoSavesBothViewsWithCrLf();
    void clearSkipsTheHexFileWithHexLogOff();
    void clearWithEditorShownWritesNothing();
    void closeAutoSavesAndSavesSettings();
    void closeWithoutAutoSaveWritesNothing();
    void unwritableFolderKeepsEverythingAndTheProgramUsable();
    void rolloverAfter65536PackagesWithHexLog();
    void rolloverWithoutHexLogWritesOnlyText();
    void rolloverNeedsNewFileEvery65535();
    void saveAsNamesTheFilesAfterTheChosenName();
    void saveAsWritesOnlyNonEmptyViews();
    void saveAsFailureIsReported();
    void copyTextLogUsesCrLf();
    void liveLinesArriveInBlocksAndAreNeverLost();
    void autoSaveInTheSameSecondKeepsTheEarlierLog();
    void savedFilesFollowEveryChangeOfTheViews();
};

void LogFilesTest::clearWithoutNewDataWritesNothing() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    fillViews(w);
    w.LogsSaved = true;  // offline decoding never marks the views as unsaved
    w.decoder().TextCount = 5;
    w.setCountsText(" T 5 / H 5");
    w.flushLogViews();
    w.mnuClear->trigger();
    QVERIFY(h.savedFiles().isEmpty());
    QVERIFY(w.textLogLines().isEmpty());
    QVERIFY(w.hexLogLines().isEmpty());
    QCOMPARE(w.statusText(2), QString());
    QCOMPARE(w.decoder().TextCount, 0);
}

void LogFilesTest::clearAutoSavesBothViewsWithCrLf() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    fillViews(w);
    w.mnuClear->trigger();
    QCOMPARE(h.savedFiles().size(), 2);
    for (const QString& name : h.savedFiles())
        QVERIFY2(kAutoSaveName.match(name).hasMatch(), qPrintable(name));
    // Both files of one save share the stamp.
    QCOMPARE(h.savedFiles()[0].left(14), h.savedFiles()[1].left(14));
    QCOMPARE(MainHarness::readAll(onlyFile(h, ".txt")), QByteArray("text one\r\ntext two\r\n"));
    QCOMPARE(MainHarness::readAll(onlyFile(h, ".hex")), QByteArray("1$F4BEE070\t00 01\r\n"));
    QVERIFY(w.LogsSaved);
    QVERIFY(w.textLogLines().isEmpty());
    QVERIFY(w.hexLogLines().isEmpty());
    QVERIFY(h.dialogs.errors.isEmpty());
}

void LogFilesTest::clearSkipsTheHexFileWithHexLogOff() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    w.mnuHexLog->trigger();
    fillViews(w);
    w.mnuClear->trigger();
    QCOMPARE(h.savedFiles().size(), 1);
    QVERIFY(!onlyFile(h, ".txt").isEmpty());
    QVERIFY(w.hexLogLines().isEmpty());
}

void LogFilesTest::clearWithEditorShownWritesNothing() {
    MainHarness h;
    h.start(true);
    TMainForm& w = *h.main;
    fillViews(w);
    w.mnuClear->trigger();
    QVERIFY(h.savedFiles().isEmpty());
    QVERIFY(w.textLogLines().isEmpty());
    QVERIFY(!w.LogsSaved);
}

void LogFilesTest::closeAutoSavesAndSavesSettings() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    QSignalSpy closed(&w, &TMainForm::closed);
    fillViews(w);
    QVERIFY(w.close());
    QCOMPARE(closed.count(), 1);
    QVERIFY(w.Closing);
    QCOMPARE(MainHarness::readAll(onlyFile(h, ".txt")), QByteArray("text one\r\ntext two\r\n"));
    QVERIFY(!onlyFile(h, ".hex").isEmpty());
    // The close keeps the views as they are.
    QCOMPARE(w.textLogLines(), (QStringList{"text one", "text two"}));
    QCOMPARE(h.stored("AutoSave"), QStringLiteral("1"));
}

void LogFilesTest::closeWithoutAutoSaveWritesNothing() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    w.mnuAutoSave->trigger();
    fillViews(w);
    QVERIFY(w.close());
    QVERIFY(h.savedFiles().isEmpty());
    QCOMPARE(h.stored("AutoSave"), QStringLiteral("0"));
}

void LogFilesTest::unwritableFolderKeepsEverythingAndTheProgramUsable() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    blockFilesFolder(h);
    fillViews(w);

    // Clear: the error is shown, the views keep their lines.
    w.mnuClear->trigger();
    QCOMPARE(h.dialogs.errors.size(), 1);
    QVERIFY2(h.dialogs.errors[0].contains(QStringLiteral("Files")),
             qPrintable(h.dialogs.errors[0]));
    QCOMPARE(w.textLogLines(), (QStringList{"text one", "text two"}));
    QCOMPARE(w.hexLogLines().size(), 1);
    QVERIFY(!w.LogsSaved);

    // Close: refused, nothing saved, the window usable again.
    QVERIFY(!w.close());
    QCOMPARE(h.dialogs.errors.size(), 2);
    QVERIFY(w.isVisible());
    QVERIFY(!w.Closing);
    QCOMPARE(w.textLogLines(), (QStringList{"text one", "text two"}));
    QVERIFY(h.stored("AutoSave").isEmpty());  // the settings were not written either

    // The user saves elsewhere, then the close goes through.
    h.dialogs.saveAnswers << h.scratch("rescued");
    w.mnuSaveAs->trigger();
    QCOMPARE(MainHarness::readAll(h.scratch("rescued.txt")),
             QByteArray("text one\r\ntext two\r\n"));
    QVERIFY(w.LogsSaved);
    w.appendTextLine("more");
    QVERIFY(w.close());
    QCOMPARE(h.dialogs.errors.size(), 2);
}

void LogFilesTest::rolloverAfter65536PackagesWithHexLog() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    zelvar::PackageDecoder& decoder = w.decoder();
    // Short packages of an unknown type: a hex line each, no text line.
    decoder.ReceiveBuffer.fill(0);
    decoder.ReceiveBuffer[4] = 0x77;
    w.LogsSaved = false;
    for (int i = 0; i < 65535; ++i)
        decoder.DecodePackage(5, "F4BEE070", zelvar::DecodeMode::Live, 1);
    QVERIFY(h.savedFiles().isEmpty());
    decoder.DecodePackage(5, "F4BEE070", zelvar::DecodeMode::Live, 2);
    QCOMPARE(h.savedFiles().size(), 1);  // the text view was empty
    const QByteArray hex = MainHarness::readAll(onlyFile(h, ".hex"));
    QCOMPARE(hex.count('\n'), 65536);
    QVERIFY(hex.startsWith("1$F4BEE070\t00 00 00 00 77\r\n"));
    QVERIFY(hex.endsWith("2$F4BEE070\t00 00 00 00 77\r\n"));
    QCOMPARE(decoder.HexCount, 0);
    QCOMPARE(decoder.TextCount, 0);
    QVERIFY(w.hexLogLines().isEmpty());
    QVERIFY(w.LogsSaved);
}

void LogFilesTest::rolloverWithoutHexLogWritesOnlyText() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    w.mnuHexLog->trigger();
    fillViews(w);
    w.flushLogViews();
    w.decoder().TextCount = 65536;
    w.decoder().HexCount = 70000;
    w.RolloverCheck();
    QCOMPARE(h.savedFiles().size(), 1);
    QVERIFY(!onlyFile(h, ".txt").isEmpty());
    QVERIFY(w.textLogLines().isEmpty());
    QCOMPARE(w.hexLogLines().size(), 1);
    QCOMPARE(w.decoder().TextCount, 0);
    QCOMPARE(w.decoder().HexCount, 70000);
}

void LogFilesTest::rolloverNeedsNewFileEvery65535() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    w.mnu65535->trigger();
    fillViews(w);
    w.decoder().HexCount = 100000;
    w.RolloverCheck();
    QVERIFY(h.savedFiles().isEmpty());
    QCOMPARE(w.decoder().HexCount, 100000);

    // A failing rollover keeps the views, with the counts reset.
    w.mnu65535->trigger();
    blockFilesFolder(h);
    w.RolloverCheck();
    QCOMPARE(h.dialogs.errors.size(), 1);
    QCOMPARE(w.decoder().HexCount, 0);
    QCOMPARE(w.textLogLines().size(), 2);
}

void LogFilesTest::saveAsNamesTheFilesAfterTheChosenName() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    w.mnuSaveAs->trigger();
    QCOMPARE(h.dialogs.saveDialogs, 0);  // both views empty: no dialog

    w.mnuHexLog->trigger();  // Save As writes the hex view whatever "Hex Log" says
    fillViews(w);
    MainHarness::writeAll(h.scratch("log.txt.txt"), "old");
    h.dialogs.saveAnswers << h.scratch("log.txt");
    w.mnuSaveAs->trigger();
    QVERIFY(
        QRegularExpression(QStringLiteral("^\\d{14}$")).match(h.dialogs.proposedName).hasMatch());
    QCOMPARE(MainHarness::readAll(h.scratch("log.txt.txt")),
             QByteArray("text one\r\ntext two\r\n"));
    QCOMPARE(MainHarness::readAll(h.scratch("log.txt.hex")), QByteArray("1$F4BEE070\t00 01\r\n"));
    QVERIFY(!QFile::exists(h.scratch("log.txt")));
    QVERIFY(w.LogsSaved);
    QVERIFY(h.savedFiles().isEmpty());

    // Cancelled: nothing written.
    w.mnuSaveAs->trigger();
    QCOMPARE(h.dialogs.saveDialogs, 2);
    QCOMPARE(QDir(h.scratch(".")).entryList({"log*"}, QDir::Files).size(), 2);
}

void LogFilesTest::saveAsWritesOnlyNonEmptyViews() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    w.appendHexLine("00 01 02");
    h.dialogs.saveAnswers << h.scratch("hexonly");
    w.mnuSaveAs->trigger();
    QVERIFY(!QFile::exists(h.scratch("hexonly.txt")));
    QCOMPARE(MainHarness::readAll(h.scratch("hexonly.hex")), QByteArray("00 01 02\r\n"));
}

void LogFilesTest::saveAsFailureIsReported() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    fillViews(w);
    h.dialogs.saveAnswers << h.scratch("no-such-folder/log");
    w.mnuSaveAs->trigger();
    QCOMPARE(h.dialogs.errors.size(), 1);
    QVERIFY(h.dialogs.errors[0].contains(QStringLiteral("log.txt")));
    QVERIFY(!w.LogsSaved);
    QCOMPARE(w.textLogLines().size(), 2);
}

void LogFilesTest::copyTextLogUsesCrLf() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    fillViews(w);
    w.mnuCopyText->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("text one\r\ntext two\r\n"));
    w.mnuClear->trigger();
    w.mnuCopyText->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString());
}

void LogFilesTest::liveLinesArriveInBlocksAndAreNeverLost() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    for (int i = 0; i < 1000; ++i) w.appendTextLine(std::to_string(i));
    // Still waiting for the event loop, yet the log is not empty for the decoder.
    QVERIFY(!w.textLogEmpty());
    QTRY_COMPARE(w.Memo1->document()->blockCount(), 1000);
    QCOMPARE(w.Memo1->document()->lastBlock().text(), QStringLiteral("999"));
    // The view follows the newest line.
    QCOMPARE(w.Memo1->verticalScrollBar()->value(), w.Memo1->verticalScrollBar()->maximum());

    w.appendHexLine("AA");
    w.setCountsText(" T 1 / H 1");
    QTRY_COMPARE(w.statusText(2), QStringLiteral(" T 1 / H 1"));
    QCOMPARE(w.Memo2->toPlainText(), QStringLiteral("AA"));
}

QTEST_MAIN(LogFilesTest)
#include "LogFilesTest.moc"

void LogFilesTest::autoSaveInTheSameSecondKeepsTheEarlierLog() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    // A log of this second is there already: a rollover just wrote it.
    const QString stamp = QString::fromStdString(zelvar::FileNameStamp());
    QDir().mkpath(h.filesDir());
    MainHarness::writeAll(QDir(h.filesDir()).filePath(stamp + ".hex"), "earlier\r\n");
    fillViews(w);
    w.mnuClear->trigger();
    const QStringList files = h.savedFiles();
    QVERIFY2(files.contains(stamp + ".hex"), qPrintable(files.join(' ')));
    QCOMPARE(MainHarness::readAll(QDir(h.filesDir()).filePath(stamp + ".hex")),
             QByteArray("earlier\r\n"));
    // The stamp may have moved on by a second meanwhile; either way the new
    // log has a name of its own.
    QCOMPARE(files.size(), 3);
    QVERIFY(w.LogsSaved);
}

void LogFilesTest::savedFilesFollowEveryChangeOfTheViews() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    fillViews(w);
    w.flushLogViews();
    // Typing into the view (as while the editor is shown) is saved too.
    QTextCursor cursor(w.Memo1->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QStringLiteral(" typed"));
    w.appendTextLine("text three");
    h.dialogs.saveAnswers << h.scratch("first");
    w.mnuSaveAs->trigger();
    QCOMPARE(MainHarness::readAll(h.scratch("first.txt")),
             QByteArray("text one\r\ntext two typed\r\ntext three\r\n"));
    // After Clear the saved text starts afresh.
    w.mnuClear->trigger();
    w.appendTextLine("after clear");
    h.dialogs.saveAnswers << h.scratch("second");
    w.mnuSaveAs->trigger();
    QCOMPARE(MainHarness::readAll(h.scratch("second.txt")), QByteArray("after clear\r\n"));
}
