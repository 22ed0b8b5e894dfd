// The log views' files through the main window: the close with and without
// auto-save, a folder that cannot be written, the journal, the rollover of
// live packages, a failed Save As and the clipboard. (The rules of Clear,
// the rollover and Save As alone are tested on the monitor model.)
#include <QAction>
#include <QClipboard>
#include <QMimeData>
#include <QGuiApplication>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBlock>
#include <utility>

#include "DateTime.h"
#include "HangGuard.h"
#include "JournalRecovery.h"
#include "LiveJournal.h"
#include "LogSaveControl.h"
#include "MainHarness.h"

namespace {

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

// `live`: as after a datagram from a transceiver; offline decoding never
// marks the views as unsaved.
void fillViews(TMainForm& w, bool live = true) {
    w.model().appendTextLine("text one");
    w.model().appendTextLine("text two");
    w.model().appendHexLine("1$F4BEE070\t00 01");
    if (live) w.model().liveDataReceived();
}

}  // namespace

class LogFilesTest : public QObject {
    Q_OBJECT

private slots:
    void closeAutoSavesAndSavesSettings();
    void closeWithoutAutoSaveWritesNothing();
    void unwritableFolderLosesNothingAndAsksOnce();
    void failedAutoSaveAsksNothingAndIsRetried();
    void signalDuringTheCloseQuestionLeavesTheLogsToTheJournal();
    void givingUpUnsavedLogsNeedsConfirmation();
    void titlesKeepTheirCharactersInViewsAndFiles();
    void journalKeepsEveryPackageUntilSaved();
    void closeDuringRecoveryLeavesItToTheNextStart();
    void closeWithEditorShownLeavesUnsavedPackagesToRecovery();
    void rolloverAfter65536PackagesWithHexLog();
    void saveAsFailureIsReported();
    void copyTextLogUsesCrLf();
    void liveLinesArriveInBlocksAndAreNeverLost();
    void autoSaveInTheSameSecondKeepsTheEarlierLog();
    void savedFilesFollowEveryChangeOfTheViews();
};

void LogFilesTest::closeAutoSavesAndSavesSettings() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    QSignalSpy closed(&w, &TMainForm::closed);
    fillViews(w);
    QVERIFY(w.close());
    QCOMPARE(closed.count(), 1);
    QVERIFY(w.model().closing());
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
    action(w, "mnuAutoSave")->trigger();
    fillViews(w);
    QVERIFY(w.close());
    QVERIFY(h.savedFiles().isEmpty());
    QCOMPARE(h.stored("AutoSave"), QStringLiteral("0"));
}

void LogFilesTest::unwritableFolderLosesNothingAndAsksOnce() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    blockFilesFolder(h);
    zelvar::PackageDecoder& decoder = w.model().sessionParts().decoder;
    // Short packages of an unknown type: a hex line each, no text line.
    const std::array<std::uint8_t, 5> unknownType{0, 0, 0, 0, 0x77};
    w.model().liveDataReceived();
    const auto receive = [&](int count, int port) {
        for (int i = 0; i < count; ++i)
            decoder.DecodePackage(unknownType, "F4BEE070", zelvar::DecodeMode::Live, port);
    };
    // While the save fails, packages keep coming: two more rollovers' worth.
    // No box asks anything, and the views keep all of it.
    receive(65536, 1);
    w.model().finishBackgroundSaves();
    receive(2 * 65536, 2);
    w.model().finishBackgroundSaves();
    QVERIFY(h.dialogs.errors.isEmpty());
    QCOMPARE(w.hexLogLines().size(), 2 * 65536);
    QCOMPARE(w.statusText(1), QStringLiteral(" Auto Save Failing: 196608"));
    // Nor can the journal keep them: that stays in sight beside the above.
    QTRY_COMPARE(w.statusText(3), QStringLiteral(" Journal Gap"));

    // Clear: the user is asked, cancels, and everything stays.
    action(w, "mnuClear")->trigger();
    QCOMPARE(h.dialogs.unsavedReasons.size(), 1);
    QCOMPARE(w.hexLogLines().size(), 2 * 65536);

    // Close: going on without saving needs a yes; the user then saves
    // elsewhere, everything in order, and the window closes.
    using Choice = zelvar::UserDialogs::UnsavedChoice;
    h.dialogs.unsavedAnswers << Choice::GoOnWithoutSaving << Choice::SaveElsewhere;
    h.dialogs.lossAnswers << false;
    h.dialogs.saveAnswers << h.scratch("rescued");
    QVERIFY(w.close());
    QCOMPARE(h.dialogs.unsavedReasons.size(), 3);
    QVERIFY(h.dialogs.errors.isEmpty());
    const QByteArray rescued = MainHarness::readAll(h.scratch("rescued.hex"));
    QCOMPARE(rescued.count('\n'), 3 * 65536);
    QVERIFY(rescued.startsWith("1$F4BEE070\t00 00 00 00 77\r\n"));
    QVERIFY(rescued.endsWith("2$F4BEE070\t00 00 00 00 77\r\n"));
    QCOMPARE(rescued.indexOf("2$"), 65536 * 27);
}

// An unattended station: nobody answers a box. The status says what fails,
// and the logs are written once the folder can take them again.
void LogFilesTest::failedAutoSaveAsksNothingAndIsRetried() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    blockFilesFolder(h);
    fillViews(w);
    w.model().sessionParts().decoder.setCounts(0, 65536);
    w.model().rolloverCheck();
    w.model().finishBackgroundSaves();
    QVERIFY(w.model().backgroundSavesFailing());
    QVERIFY2(h.dialogs.errors.isEmpty(), qPrintable(h.dialogs.errors.join(QLatin1Char('\n'))));
    QVERIFY(w.statusText(1).startsWith(QStringLiteral(" Auto Save Failing")));

    QVERIFY(QFile::remove(h.filesDir()));
    QVERIFY(QDir(h.workDir()).mkdir(QStringLiteral("Files")));
    QTRY_COMPARE(h.savedFiles().size(), 2);
    QCOMPARE(MainHarness::readAll(onlyFile(h, ".hex")), QByteArray("1$F4BEE070\t00 01\r\n"));
    QTRY_VERIFY(!w.model().backgroundSavesFailing());
    QVERIFY(!w.statusText(1).contains(QStringLiteral("Failing")));
    QVERIFY(h.dialogs.errors.isEmpty());
}

// The user's close asks what to do with logs it cannot write, and the
// desktop's signal comes while it asks: the close goes on without asking
// more, and the journal keeps the packages for the next start.
void LogFilesTest::signalDuringTheCloseQuestionLeavesTheLogsToTheJournal() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    zelvar::PackageDecoder& decoder = w.model().sessionParts().decoder;
    const std::array<std::uint8_t, 5> unknownType{0, 0, 0, 0, 0x77};
    decoder.DecodePackage(unknownType, "F4BEE070", zelvar::DecodeMode::Live, 1);
    w.model().liveDataReceived();
    const auto journals = [](const QString& folder) {
        return QDir(folder).entryList({QStringLiteral("*.journal")});
    };
    QTRY_VERIFY(!journals(h.filesDir()).isEmpty());
    const QString opened = h.scratch(QStringLiteral("Files.old"));
    QVERIFY(QDir().rename(h.filesDir(), opened));
    blockFilesFolder(h);

    h.dialogs.onUnsaved = [&w] { w.closeUnattended(); };
    QVERIFY(w.close());
    QCOMPARE(h.dialogs.unsavedReasons.size(), 1);
    QVERIFY(h.savedFiles().isEmpty());
    QCOMPARE(journals(opened).size(), 1);
    QCOMPARE(MainHarness::readAll(QDir(opened).filePath(journals(opened)[0])),
             QByteArray("1$F4BEE070\t00 00 00 00 77\r\n"));
}

void LogFilesTest::givingUpUnsavedLogsNeedsConfirmation() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    blockFilesFolder(h);
    using Choice = zelvar::UserDialogs::UnsavedChoice;
    fillViews(w);
    h.dialogs.unsavedAnswers << Choice::GoOnWithoutSaving;
    h.dialogs.lossAnswers << true;
    // A Clear or a close chosen while the question stands is refused.
    bool closedMeanwhile = true;
    QString statusMeanwhile;
    bool asked = false;
    h.dialogs.onUnsaved = [&] {
        if (std::exchange(asked, true)) return;
        statusMeanwhile = w.statusText(1);
        action(w, "mnuClear")->trigger();
        closedMeanwhile = w.close();
    };
    action(w, "mnuClear")->trigger();
    QCOMPARE(h.dialogs.unsavedReasons.size(), 1);
    QVERIFY(!closedMeanwhile);
    QCOMPARE(statusMeanwhile, QStringLiteral(" Auto Save Failing: 0"));
    h.dialogs.onUnsaved = nullptr;
    QVERIFY(w.textLogLines().isEmpty());

    fillViews(w);
    h.dialogs.unsavedAnswers << Choice::GoOnWithoutSaving;
    h.dialogs.lossAnswers << true;
    QVERIFY(w.close());
    QCOMPARE(h.dialogs.unsavedReasons.size(), 2);
    QVERIFY(h.dialogs.errors.isEmpty());
    QCOMPARE(h.stored("AutoSave"), QStringLiteral("1"));
}

void LogFilesTest::titlesKeepTheirCharactersInViewsAndFiles() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    const QString log = h.scratch(QStringLiteral("журнал.hex"));
    MainHarness::writeAll(log, "1$F4BEE070\t00 00 00 00 77\r\n");
    h.dialogs.openAnswers << log;
    action(w, "mnuDecode")->trigger();
    QCOMPARE(w.textLogLines().value(0), QStringLiteral("File: журнал.hex"));
    h.dialogs.saveAnswers << h.scratch("saved");
    action(w, "mnuSaveAs")->trigger();
    QVERIFY(MainHarness::readAll(h.scratch("saved.txt"))
                .startsWith(QStringLiteral("File: журнал.hex\r\n").toUtf8()));
}

void LogFilesTest::journalKeepsEveryPackageUntilSaved() {
    MainHarness h;
    // A journal left behind by a run that was killed.
    QDir().mkpath(h.filesDir());
    MainHarness::writeAll(QDir(h.filesDir()).filePath("zelvar-1-1-1.journal"),
                          "1$F4BEE070\t00 00 00 00 77\r\n2$F4BEE070\t00 00 00 00 77\r\n2$F4");
    h.start();
    TMainForm& w = *h.main;
    // Recovered on a thread of its own while the window is in use.
    QTRY_COMPARE_WITH_TIMEOUT(w.statusText(3), QStringLiteral(" Recovered 2"), 60000);
    const QStringList recovered = h.savedFiles();
    QCOMPARE(recovered.size(), 2);
    QVERIFY2(recovered[0].endsWith("_recovered.hex"), qPrintable(recovered[0]));
    const QByteArray text = MainHarness::readAll(QDir(h.filesDir()).filePath(recovered[1]));
    QVERIFY2(text.startsWith("File: " + recovered[0].toUtf8() + "\r\n"), text.constData());
    QVERIFY(text.endsWith("End\r\n"));

    // Every package is journaled, with the hex log off too, until a save.
    action(w, "mnuHexLog")->trigger();
    zelvar::PackageDecoder& decoder = w.model().sessionParts().decoder;
    const std::array<std::uint8_t, 5> unknownType{0, 0, 0, 0, 0x77};
    for (int port = 1; port <= 3; ++port)
        decoder.DecodePackage(unknownType, "F4BEE070", zelvar::DecodeMode::Live, port);
    w.model().liveDataReceived();
    const std::vector<std::string> files = w.model().syncJournal();
    QCOMPARE(files.size(), std::size_t{1});
    QCOMPARE(MainHarness::readAll(QString::fromStdString(files[0])),
             QByteArray("1$F4BEE070\t00 00 00 00 77\r\n2$F4BEE070\t00 00 00 00 77\r\n"
                        "3$F4BEE070\t00 00 00 00 77\r\n"));
    action(w, "mnuClear")->trigger();
    QVERIFY(w.model().syncJournal().empty());
    QCOMPARE(h.savedFiles().size(), 2);  // nothing to write but the journal
}

// The close writes no file while the editor is shown: what no save holds
// stays in the journal for the next start, as after a crash.
// A close while a long journal is recovered does not wait for it: the next
// start recovers what is left once.
void LogFilesTest::closeDuringRecoveryLeavesItToTheNextStart() {
    MainHarness h;
    QDir().mkpath(h.filesDir());
    constexpr int kPackages = 200000;
    QByteArray journal;
    for (int i = 0; i < kPackages; ++i)
        journal += QByteArray::number(1 + i % 4) + "$" + QByteArray::number(0x10000000 + i, 16) +
                   "\t00 00 00 00 77\r\n";
    MainHarness::writeAll(QDir(h.filesDir()).filePath("zelvar-1-1-1.journal"), journal);
    h.start();
    QVERIFY(h.main->close());
    zelvar::RecoverJournals(h.filesDir(), zelvar::Settings());
    QMap<QByteArray, int> seen;
    for (const QString& name : QDir(h.filesDir()).entryList({QStringLiteral("*.hex")}))
        for (const QByteArray& line : MainHarness::readAll(QDir(h.filesDir()).filePath(name)).split('\n'))
            if (!line.isEmpty()) ++seen[line];
    QCOMPARE(seen.size(), kPackages);
    for (auto it = seen.cbegin(); it != seen.cend(); ++it) QCOMPARE(it.value(), 1);
    QCOMPARE(QDir(h.filesDir()).entryList({QStringLiteral("*.journal")}).size(), 0);
}

void LogFilesTest::closeWithEditorShownLeavesUnsavedPackagesToRecovery() {
    MainHarness h;
    h.start(true);
    TMainForm& w = *h.main;
    QVERIFY(h.editor->isVisible());
    zelvar::PackageDecoder& decoder = w.model().sessionParts().decoder;
    const std::array<std::uint8_t, 5> unknownType{0, 0, 0, 0, 0x77};
    decoder.DecodePackage(unknownType, "F4BEE070", zelvar::DecodeMode::Live, 1);
    w.model().liveDataReceived();
    QVERIFY(w.close());
    QVERIFY(h.savedFiles().isEmpty());
    const QStringList journals = QDir(h.filesDir()).entryList({QStringLiteral("*.journal")});
    QCOMPARE(journals.size(), 1);
    QCOMPARE(MainHarness::readAll(QDir(h.filesDir()).filePath(journals[0])),
             QByteArray("1$F4BEE070\t00 00 00 00 77\r\n"));
}

void LogFilesTest::rolloverAfter65536PackagesWithHexLog() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    zelvar::PackageDecoder& decoder = w.model().sessionParts().decoder;
    // Short packages of an unknown type: a hex line each, no text line.
    const std::array<std::uint8_t, 5> unknownType{0, 0, 0, 0, 0x77};
    w.model().liveDataReceived();
    for (int i = 0; i < 65535; ++i)
        decoder.DecodePackage(unknownType, "F4BEE070", zelvar::DecodeMode::Live, 1);
    QVERIFY(h.savedFiles().isEmpty());
    decoder.DecodePackage(unknownType, "F4BEE070", zelvar::DecodeMode::Live, 2);
    // The views are empty at once; the files follow from the writer's thread.
    QVERIFY(w.hexLogLines().isEmpty());
    w.model().finishBackgroundSaves();
    QCOMPARE(h.savedFiles().size(), 1);  // the text view was empty
    const QByteArray hex = MainHarness::readAll(onlyFile(h, ".hex"));
    QCOMPARE(hex.count('\n'), 65536);
    QVERIFY(hex.startsWith("1$F4BEE070\t00 00 00 00 77\r\n"));
    QVERIFY(hex.endsWith("2$F4BEE070\t00 00 00 00 77\r\n"));
    QCOMPARE(decoder.hexCount(), 0);
    QCOMPARE(decoder.textCount(), 0);
    QVERIFY(w.hexLogLines().isEmpty());
    QVERIFY(w.logsSaved());
}

void LogFilesTest::saveAsFailureIsReported() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    fillViews(w);
    h.dialogs.saveAnswers << h.scratch("no-such-folder/log");
    // A close asked for while the box stands (the system ending the program)
    // waits for the box, then closes once.
    QSignalSpy closed(&w, &TMainForm::closed);
    bool closedMeanwhile = true;
    h.dialogs.onError = [&] { closedMeanwhile = w.close() || w.close(); };
    action(w, "mnuSaveAs")->trigger();
    QCOMPARE(h.dialogs.errors.size(), 1);
    QVERIFY(h.dialogs.errors[0].contains(QStringLiteral("log.txt")));
    QVERIFY(!w.logsSaved());
    QCOMPARE(w.textLogLines().size(), 2);
    QVERIFY(!closedMeanwhile);
    QTRY_COMPARE(closed.count(), 1);
    QCOMPARE(h.dialogs.errors.size(), 1);
}

void LogFilesTest::copyTextLogUsesCrLf() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    fillViews(w);
    action(w, "mnuCopyText")->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("text one\r\ntext two\r\n"));
    QVERIFY(QGuiApplication::clipboard()->mimeData()->hasText());
    action(w, "mnuClear")->trigger();
    action(w, "mnuCopyText")->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString());
}

void LogFilesTest::liveLinesArriveInBlocksAndAreNeverLost() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    for (int i = 0; i < 1000; ++i) w.model().appendTextLine(std::to_string(i));
    // Still waiting for the event loop, yet the log is not empty for the decoder.
    QVERIFY(!w.model().textLogEmpty());
    QTRY_COMPARE(logView(w, "Memo1")->lineCount(), std::size_t{1000});
    QCOMPARE(logView(w, "Memo1")->lineText(999), QStringLiteral("999"));
    // The view follows the newest line.
    QCOMPARE(logView(w, "Memo1")->verticalScrollBar()->value(),
             logView(w, "Memo1")->verticalScrollBar()->maximum());

    w.model().appendHexLine("AA");
    w.model().setCountsText(" T 1 / H 1");
    QTRY_COMPARE(w.statusText(2), QStringLiteral(" T 1 / H 1"));
    QCOMPARE(logView(w, "Memo2")->toPlainText(), QStringLiteral("AA"));
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
    action(w, "mnuClear")->trigger();
    const QStringList files = h.savedFiles();
    QVERIFY2(files.contains(stamp + ".hex"), qPrintable(files.join(' ')));
    QCOMPARE(MainHarness::readAll(QDir(h.filesDir()).filePath(stamp + ".hex")),
             QByteArray("earlier\r\n"));
    // The stamp may have moved on by a second meanwhile; either way the new
    // log has a name of its own.
    QCOMPARE(files.size(), 3);
    QVERIFY(w.logsSaved());
}

void LogFilesTest::savedFilesFollowEveryChangeOfTheViews() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    fillViews(w);
    w.flushLogViews();
    // Typing into the view (as while the editor is shown) is saved too.
    zelvar::LogView* view = logView(w, "Memo1");
    view->setCursorPosition(view->lines().endPos());
    view->insertText(QStringLiteral(" typed"));
    w.model().appendTextLine("text three");
    h.dialogs.saveAnswers << h.scratch("first");
    action(w, "mnuSaveAs")->trigger();
    QCOMPARE(MainHarness::readAll(h.scratch("first.txt")),
             QByteArray("text one\r\ntext two typed\r\ntext three\r\n"));
    // After Clear the saved text starts afresh.
    action(w, "mnuClear")->trigger();
    w.model().appendTextLine("after clear");
    h.dialogs.saveAnswers << h.scratch("second");
    action(w, "mnuSaveAs")->trigger();
    QCOMPARE(MainHarness::readAll(h.scratch("second.txt")), QByteArray("after clear\r\n"));
}
