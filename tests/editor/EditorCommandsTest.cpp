// The editor's Options commands, markers, find buttons and "Decode..." as a
// user drives them, and what happens to commands that arrive while one runs.
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTextCursor>
#include <QTimer>
#include <QToolButton>
#include <stdexcept>

#include "../main/MainHarness.h"
#include "EditorDialogs.h"
#include "EditorHost.h"
#include "LineTransform.h"
#include "RichEditArea.h"

namespace {

class ScriptedEditorDialogs : public zelvar::EditorDialogs {
public:
    QStringList openAnswers;
    QStringList errors;
    int openDialogs = 0;

    QString openDocument(QWidget*) override {
        ++openDialogs;
        return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
    }
    QString saveDocumentAs(QWidget*, const QString&) override { return {}; }
    void showError(QWidget*, const QString& text) override { errors << text; }
};

// A hex log whose packages cycle through the ports 1..4 and the types 0B,
// 03 and 05 (byte 4).
QStringList hexLog(int count) {
    static const char* const kTypes[] = {"0B", "03", "05"};
    QStringList lines;
    for (int i = 0; i < count; ++i) {
        lines << QStringLiteral("%1$%2\t00 %3 22 01 %4 00 AB")
                     .arg(i % 4 + 1)
                     .arg(0x451C2A00 + i, 8, 16, QLatin1Char('0'))
                     .arg(i % 256, 2, 16, QLatin1Char('0'))
                     .arg(QLatin1String(kTypes[i % 3]))
                     .toUpper();
    }
    return lines;
}

QString converted(const QString& line, zelvar::TransformMode mode) {
    std::string out;
    zelvar::TransformLine(line.toStdString(), zelvar::TransformFor(mode), out);
    return QString::fromStdString(out);
}

void select(TEditorForm& e, int from, int to) {
    QTextCursor cursor = e.RichEdit->textCursor();
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    e.RichEdit->setTextCursor(cursor);
}

QPair<int, int> selection(const TEditorForm& e) {
    const QTextCursor cursor = e.RichEdit->textCursor();
    return {cursor.selectionStart(), cursor.selectionEnd()};
}

// The format of character `at`.
QTextCharFormat formatAt(TEditorForm& e, int at) {
    QTextCursor cursor(e.RichEdit->document());
    cursor.setPosition(at + 1);
    return cursor.charFormat();
}

QRgb colorAt(TEditorForm& e, int at) {
    const QTextCharFormat format = formatAt(e, at);
    return format.foreground().style() == Qt::NoBrush ? qRgb(0, 0, 0)
                                                      : format.foreground().color().rgb();
}

// The progress index panel 1 shows, or -1.
int progressIndex(const TEditorForm& e) {
    const QString text = e.statusText(1);
    return text.isEmpty() ? -1 : text.section(QLatin1Char('/'), 0, 0).trimmed().toInt();
}

class FailingHost : public zelvar::EditorHost {
public:
    bool mainDecodeEnabled = true;
    bool session = false;
    void decodeEditorLines(const QStringList&, const QString&) override {
        throw std::runtime_error("No room left on the device");
    }
    void setMainDecodeEnabled(bool enabled) override { mainDecodeEnabled = enabled; }
    bool monitoring() const override { return session; }
};

}  // namespace

class EditorCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void filtersConversionsSortAndTheirUndo();
    void escapeStopsARunAtAProgressStep();
    void markerToggles();
    void findSequences();
    void decodeGivesWhatZelvarDecodeGives();
    void decodeRestoresTheCommandsWhenItFails();
    void commandsArrivingDuringARunAreRefused();
    void closingDuringARunWaitsForItsEnd();

private:
    struct Setup {
        MainHarness h;
        ScriptedEditorDialogs dialogs;
        TEditorForm& editor;
        Setup() : editor(*h.editor) {
            editor.setDialogs(&dialogs);
            h.start(true);
        }
    };
};

void EditorCommandsTest::filtersConversionsSortAndTheirUndo() {
    Setup s;
    TEditorForm& e = s.editor;
    const QStringList log = hexLog(7);
    e.setPlainDocument(log.join(QLatin1Char('\n')));
    select(e, 0, 5);
    e.BtnRedMark->click();

    QStringList activity;
    QTimer::singleShot(0, &e, [&] { activity << e.statusText(2); });
    e.mnuF0B05->trigger();
    QCOMPARE(activity, QStringList{QStringLiteral(" Processing... ")});
    QStringList kept;
    for (int i : {0, 2, 3, 5, 6}) kept << log[i].mid(2, 8) + log[i].mid(10);
    QCOMPARE(e.lines(), kept);
    QCOMPARE(e.statusText(1), QString());
    QCOMPARE(e.statusText(2), QString());
    QCOMPARE(colorAt(e, 0), qRgb(0, 0, 0));

    // One level: the text before the filter, without its marks, and no more.
    e.mnuUndoFilter->trigger();
    QCOMPARE(e.lines(), log);
    QCOMPARE(colorAt(e, 0), qRgb(0, 0, 0));
    e.mnuUndoFilter->trigger();
    QCOMPARE(e.lines(), log);

    // After a conversion the converted text comes back, without later edits.
    e.mnuClearTime->trigger();
    QCOMPARE(e.lines().first(), QStringLiteral("00 00 22 01 0B 00 AB"));
    const QStringList bytes = e.lines();
    QTest::keyClicks(e.RichEdit, QStringLiteral("typed"));
    e.mnuUndoFilter->trigger();
    QCOMPARE(e.lines(), bytes);

    // The mask filter reads the digits of "Bit :" alone; no digit is an error.
    e.mnuUndoFilter->trigger();
    e.setPlainDocument(log.join(QLatin1Char('\n')));
    e.EditPType->setText(QStringLiteral("05"));
    e.EditPByte->setText(QStringLiteral("x"));
    e.mnuUserFilter->trigger();
    QCOMPARE(s.dialogs.errors, QStringList{QStringLiteral("'' is not a valid integer value")});
    QCOMPARE(e.lines(), log);
    e.EditPByte->setText(QStringLiteral("a4"));
    e.mnuUserFilter->trigger();
    QCOMPARE(e.lines(), (QStringList{kept[1], kept[3]}));

    // The sort leaves nothing for "Return to the Old Values...".
    e.setPlainDocument(QStringLiteral("2a\n1a\n3a\nx\n\n1b"));
    e.SortDatabyPorts1->trigger();
    QCOMPARE(e.lines(), (QStringList{"1a", "1b", "2a", "3a"}));
    e.mnuUndoFilter->trigger();
    QCOMPARE(e.plainText(), QString());
    QCOMPARE(s.dialogs.errors.size(), 1);
}

void EditorCommandsTest::escapeStopsARunAtAProgressStep() {
    Setup s;
    TEditorForm& e = s.editor;
    const QStringList log = hexLog(5000);

    // Escape arrives with the events of the first progress step past 2000.
    const auto runStopped = [&](QAction* command, int& stoppedAt) {
        e.setPlainDocument(log.join(QLatin1Char('\n')));
        QList<int> shown;
        stoppedAt = -1;
        QTimer poll;
        poll.setInterval(0);
        connect(&poll, &QTimer::timeout, &e, [&] {
            const int index = progressIndex(e);
            if (index < 0 || (!shown.isEmpty() && shown.last() == index)) return;
            shown << index;
            if (stoppedAt < 0 && index >= 2000) {
                stoppedAt = index;
                QTest::keyClick(e.RichEdit, Qt::Key_Escape);
            }
        });
        poll.start();
        command->trigger();
        poll.stop();
        // Progress only at the indices without a bit of 0x3E8.
        QVERIFY(shown.size() > 10 && shown.size() < 200);
        for (int index : shown) QCOMPARE(index & 0x3E8, 0);
    };

    int converted1 = -1;
    runStopped(e.mnuClearSpace, converted1);
    QVERIFY(converted1 >= 2000 && converted1 < 4999);
    QStringList expected;
    for (int i = 0; i < log.size(); ++i) {
        expected << (i <= converted1 ? converted(log[i], zelvar::TransformMode::Spaces) : log[i]);
    }
    QCOMPARE(e.lines(), expected);
    QVERIFY(expected[0] != log[0]);

    int filtered = -1;
    runStopped(e.mnuF0B05, filtered);
    QVERIFY(filtered >= 2000);
    QStringList kept;
    for (int i = 0; i <= filtered; ++i) {
        if (i % 3 != 1) kept << converted(log[i], zelvar::TransformMode::Packets0B05);
    }
    QCOMPARE(e.lines(), kept);
    e.mnuUndoFilter->trigger();
    QCOMPARE(e.lines(), log);
}

void EditorCommandsTest::markerToggles() {
    Setup s;
    TEditorForm& e = s.editor;
    e.setPlainDocument(QStringLiteral("abcdef ghi"));
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255), black = qRgb(0, 0, 0);

    select(e, 0, 3);
    e.BtnRedMark->click();
    QCOMPARE(colorAt(e, 2), red);
    e.BtnRedMark->click();
    QCOMPARE(colorAt(e, 0), black);
    e.BtnRedMark->click();
    e.BtnBlueMark->click();
    QCOMPARE(colorAt(e, 1), blue);
    QCOMPARE(colorAt(e, 3), black);

    // A mixed selection goes by its first character.
    select(e, 2, 6);
    e.BtnBlueMark->click();
    QCOMPARE(colorAt(e, 2), black);
    QCOMPARE(colorAt(e, 5), black);
    QCOMPARE(colorAt(e, 1), blue);
    select(e, 0, 6);
    e.BtnRedMark->click();
    for (int i : {0, 1, 2, 5}) QCOMPARE(colorAt(e, i), red);

    // Bold alone toggles off; any other style becomes bold alone.
    select(e, 7, 10);
    QTextCharFormat boldItalic;
    boldItalic.setFontWeight(QFont::Bold);
    boldItalic.setFontItalic(true);
    e.RichEdit->mergeCurrentCharFormat(boldItalic);
    e.BtnBoldMark->click();
    QCOMPARE(formatAt(e, 8).fontWeight(), int(QFont::Bold));
    QVERIFY(!formatAt(e, 8).fontItalic());
    e.BtnBoldMark->click();
    QVERIFY(formatAt(e, 8).fontWeight() < QFont::Bold);

    // Nothing selected: the text typed next takes the mark.
    e.RichEdit->moveCursor(QTextCursor::End);
    e.BtnBlueMark->click();
    QTest::keyClicks(e.RichEdit, QStringLiteral("x"));
    QCOMPARE(colorAt(e, 10), blue);

    e.mnuResetTTA->trigger();
    QCOMPARE(e.plainText(), QStringLiteral("abcdef ghix"));
    for (int i = 0; i < 11; ++i) {
        QCOMPARE(colorAt(e, i), black);
        QVERIFY(formatAt(e, i).fontWeight() < QFont::Bold);
    }
    QCOMPARE(selection(e), qMakePair(0, 0));
}

void EditorCommandsTest::findSequences() {
    Setup s;
    TEditorForm& e = s.editor;
    e.setPlainDocument(QStringLiteral("abc Abc ABC"));
    QTest::keyClicks(e.EditFind, QStringLiteral("abc"));
    QCOMPARE(e.EditFind->text(), QStringLiteral("ABC"));

    using Sel = QPair<int, int>;
    for (const Sel& expected : {Sel{0, 3}, Sel{4, 7}, Sel{8, 11}, Sel{8, 11}}) {
        e.BtnFindNext->click();
        QCOMPARE(selection(e), expected);
    }
    QCOMPARE(e.statusText(0), QStringLiteral(" Selection Length : 3"));
    for (const Sel& expected : {Sel{4, 7}, Sel{0, 3}, Sel{0, 3}}) {
        e.BtnFindPrev->click();
        QCOMPARE(selection(e), expected);
    }
    // The caret inside an occurrence: that one is not found.
    select(e, 5, 5);
    e.BtnFindNext->click();
    QCOMPARE(selection(e), Sel(8, 11));

    // The prepared text follows the document.
    e.setPlainDocument(QStringLiteral("xyz"));
    e.BtnFindNext->click();
    QCOMPARE(selection(e), Sel(0, 0));
    e.RichEdit->moveCursor(QTextCursor::End);
    QTest::keyClicks(e.RichEdit, QStringLiteral(" aBc"));
    select(e, 0, 0);
    e.BtnFindNext->click();
    QCOMPARE(selection(e), Sel(4, 7));
    // Marks leave the text as it was; typing over it, even as many letters, does not.
    select(e, 0, 7);
    e.BtnRedMark->click();
    select(e, 0, 3);
    e.RichEdit->textCursor().insertText(QStringLiteral("ABC"));
    select(e, 0, 0);
    e.BtnFindNext->click();
    QCOMPARE(selection(e), Sel(0, 3));
    e.BtnFindNext->click();
    QCOMPARE(selection(e), Sel(4, 7));

    e.setPlainDocument(QStringLiteral("связь Связь СВЯЗЬ"));
    e.EditFind->setText(QStringLiteral("связь"));
    e.RichEdit->moveCursor(QTextCursor::End);
    e.BtnFindPrev->click();
    QCOMPARE(selection(e), Sel(12, 17));
    e.EditFind->clear();
    e.BtnFindPrev->click();
    QCOMPARE(selection(e), Sel(12, 17));
}

void EditorCommandsTest::decodeGivesWhatZelvarDecodeGives() {
    Setup s;
    TEditorForm& e = s.editor;
    s.dialogs.openAnswers << QStringLiteral(ZELVAR_TEST_DATA "/traffic.hex");
    e.mnuOpenRtf->trigger();
    e.SortDatabyPorts1->trigger();
    // A note in Cyrillic amid the bytes counts for nothing.
    QTextCursor note(e.RichEdit->document());
    note.setPosition(static_cast<int>(e.lines().first().indexOf(QLatin1Char('\t'))) + 1);
    note.insertText(QStringLiteral("жд"));
    const QStringList lines = e.lines();
    QVERIFY(lines.size() > 3);

    // While it runs both decode commands are off, and a transform is refused.
    bool checked = false;
    QTimer::singleShot(0, &e, [&] {
        checked = true;
        QVERIFY(!e.SBDecode->isEnabled());
        QVERIFY(!action(*s.h.main, "mnuDecode")->isEnabled());
        e.mnuClearTime->trigger();
    });
    e.SBDecode->click();
    QVERIFY(checked);
    QCOMPARE(e.lines(), lines);
    QVERIFY(e.SBDecode->isEnabled());
    QVERIFY(action(*s.h.main, "mnuDecode")->isEnabled());

    const QString input = s.h.scratch(QStringLiteral("edited.hex"));
    MainHarness::writeAll(input, lines.join(QLatin1Char('\n')).toUtf8());
    // The tool reads the settings the window was started with.
    const QString settings = s.h.scratch(QStringLiteral("Zelvar.ini"));
    if (!QFile::exists(settings)) MainHarness::writeAll(settings, {});
    QProcess tool;
    tool.start(QStringLiteral(ZELVAR_DECODE_BIN), {QStringLiteral("--settings"), settings, input});
    QVERIFY(tool.waitForFinished(30000));
    QCOMPARE(tool.readAllStandardError().count('\n'), 1);
    QCOMPARE(tool.exitCode(), 0);
    QStringList expected = QString::fromUtf8(tool.readAllStandardOutput())
                               .split(QRegularExpression(QStringLiteral("\r?\n")));
    if (expected.last().isEmpty()) expected.removeLast();

    QStringList text = s.h.main->textLogLines();
    QVERIFY(QRegularExpression(QStringLiteral(
                                   "^Editor Data: \\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d"
                                   "\tFile: traffic\\.hex$"))
                .match(text.first())
                .hasMatch());
    QVERIFY(text.size() > 10);
    QCOMPARE(text.mid(1), expected.mid(1));

    // A document never saved is named so in the header.
    e.setPlainDocument(QStringLiteral("x"));
    e.DocName = QStringLiteral("Not Saved");
    e.SBDecode->click();
    text = s.h.main->textLogLines();
    QVERIFY(text.filter(QStringLiteral("Editor Data: ")).last().endsWith(
        QStringLiteral("\tFile: Not Saved")));
}

void EditorCommandsTest::decodeRestoresTheCommandsWhenItFails() {
    Setup s;
    TEditorForm& e = s.editor;
    FailingHost host;
    e.setHost(&host);
    e.SBDecode->click();
    QVERIFY(s.dialogs.errors.isEmpty());  // an empty document decodes nothing

    e.setPlainDocument(QStringLiteral("1$451C2A0B\t00 11 22 33 0B"));
    e.SBDecode->click();
    QCOMPARE(s.dialogs.errors, QStringList{QStringLiteral("No room left on the device")});
    QVERIFY(e.SBDecode->isEnabled() && host.mainDecodeEnabled);
    QVERIFY(!e.commandRunning());

    // During a session the main window's command stays off.
    host.session = true;
    e.SBDecode->click();
    QVERIFY(e.SBDecode->isEnabled() && !host.mainDecodeEnabled);
    e.setHost(s.h.main.get());
}

void EditorCommandsTest::commandsArrivingDuringARunAreRefused() {
    Setup s;
    TEditorForm& e = s.editor;
    const QStringList log = hexLog(3000);
    const QString other = s.h.scratch(QStringLiteral("other.hex"));
    MainHarness::writeAll(other, "4$451C2A0B\t00 11 22 33 0B\r\n");
    e.setPlainDocument(log.join(QLatin1Char('\n')));
    const QStringList before = s.h.main->textLogLines();

    bool ran = false;
    QTimer::singleShot(0, &e, [&] {
        ran = true;
        e.mnuF0B05->trigger();
        e.mnuUndoFilter->trigger();
        e.SortDatabyPorts1->trigger();
        e.mnuUserFilter->trigger();
        s.dialogs.openAnswers << other;
        e.mnuOpenRtf->trigger();
        e.filesDropped({other});
        e.SBDecode->click();
        QTest::keyClicks(e.RichEdit, QStringLiteral("typed"));
    });
    e.mnuAddSpace->trigger();
    QVERIFY(ran);
    QCOMPARE(s.dialogs.openDialogs, 0);
    QCOMPARE(e.DocName, QStringLiteral("Not Saved"));
    QCOMPARE(s.h.main->textLogLines(), before);
    QStringList expected;
    for (const QString& line : log) expected << converted(line, zelvar::TransformMode::DivideSpaces);
    QCOMPARE(e.lines(), expected);
    QVERIFY(!e.RichEdit->isReadOnly());

    // Refused, not lost for good: the same commands work once it is over.
    e.filesDropped({other});
    QCOMPARE(e.DocName, QStringLiteral("other.hex"));
}

void EditorCommandsTest::closingDuringARunWaitsForItsEnd() {
    Setup s;
    TEditorForm& e = s.editor;
    const QStringList log = hexLog(3000);

    // The editor's close box: the run stops after its line, then it hides.
    e.setPlainDocument(log.join(QLatin1Char('\n')));
    bool shownMeanwhile = false;
    QTimer::singleShot(0, &e, [&] {
        e.close();
        shownMeanwhile = e.isVisible();
    });
    e.mnuClearTime->trigger();
    QVERIFY(shownMeanwhile);
    QVERIFY(!e.isVisible());
    const QStringList lines = e.lines();
    QCOMPARE(lines.size(), log.size());
    QCOMPARE(lines.last(), log.last());

    // The program: the same, and the main window closes afterwards, also
    // when the editor is closed after it.
    e.show();
    e.setPlainDocument(log.join(QLatin1Char('\n')));
    QSignalSpy closed(s.h.main.get(), &TMainForm::closed);
    bool refused = false;
    QTimer::singleShot(0, &e, [&] {
        refused = !s.h.main->close();
        e.close();
    });
    e.mnuClearTime->trigger();
    QVERIFY(refused);
    QCOMPARE(closed.count(), 0);
    QCOMPARE(e.lines().last(), log.last());
    QTRY_COMPARE(closed.count(), 1);
}

QTEST_MAIN(EditorCommandsTest)
#include "EditorCommandsTest.moc"
