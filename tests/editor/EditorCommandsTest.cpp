// The editor's Options commands, markers, find buttons and "Decode..." as a
// user drives them, and what happens to commands that arrive while one runs.
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <stdexcept>

#include "../main/MainHarness.h"
#include "EditorDialogs.h"
#include "EditorHost.h"
#include "LineTransform.h"
#include "PlainDocuments.h"
#include "ProcessLines.h"
#include "RichEditArea.h"
#include "RichText.h"

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
    // A box lets window events through: it stands inside its command's run.
    void showError(QWidget* editor, const QString& text) override {
        errors << text;
        QVERIFY2(static_cast<TEditorForm*>(editor)->commandRunning(), qPrintable(text));
    }
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

std::u16string_view utf16(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

RichEditArea* area(const TEditorForm& e) {
    return control<RichEditArea>(e, QStringLiteral("RichEdit"));
}

void select(TEditorForm& e, int from, int to) {
    area(e)->setSelection(static_cast<std::size_t>(from), static_cast<std::size_t>(to));
}

QPair<int, int> selection(const TEditorForm& e) {
    return {static_cast<int>(area(e)->selectionStart()), static_cast<int>(area(e)->selectionEnd())};
}

// The marks of character `at`.
zelvar::Marks marksAt(const TEditorForm& e, int at) {
    return area(e)->content().marksAt(static_cast<std::size_t>(at));
}

QRgb colorAt(const TEditorForm& e, int at) {
    switch (marksAt(e, at).color) {
        case zelvar::MarkColor::Red: return qRgb(255, 0, 0);
        case zelvar::MarkColor::Blue: return qRgb(0, 0, 255);
        case zelvar::MarkColor::Black: break;
    }
    return qRgb(0, 0, 0);
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
    void decodeEditorLines(zelvar::LineList, const QString&) override {
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
    void longSelectionsMarkAsShortOnes();
    void commandsGiveWhatZelvarEditGives();
    void findSequences();
    void decodeGivesWhatZelvarDecodeGives();
    void decodeRestoresTheCommandsWhenItFails();
    void commandsArrivingDuringARunAreRefused();
    void closingDuringARunWaitsForItsEnd();
    void everyCommandIsOneStepToUndo();
    void historyKeepsEightCommandsOrTwiceTheDocument();
    void documentLinesAreTheWholeTextsLines();

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
    control<QToolButton>(e, QStringLiteral("BtnRedMark"))->click();

    QStringList activity;
    QTimer::singleShot(0, &e, [&] { activity << e.statusText(2); });
    action(e, "mnuF0B05")->trigger();
    QCOMPARE(activity, QStringList{QStringLiteral(" Processing... ")});
    QStringList kept;
    for (int i : {0, 2, 3, 5, 6}) kept << log[i].mid(2, 8) + log[i].mid(10);
    QCOMPARE(e.lines(), kept);
    QCOMPARE(e.statusText(1), QString());
    QCOMPARE(e.statusText(2), QString());
    QCOMPARE(colorAt(e, 0), qRgb(0, 0, 0));

    // One level: the text before the filter, without its marks, and no more.
    action(e, "mnuUndoFilter")->trigger();
    QCOMPARE(e.lines(), log);
    QCOMPARE(colorAt(e, 0), qRgb(0, 0, 0));
    action(e, "mnuUndoFilter")->trigger();
    QCOMPARE(e.lines(), log);

    // After a conversion the converted text comes back, without later edits.
    action(e, "mnuClearTime")->trigger();
    QCOMPARE(e.lines().first(), QStringLiteral("00 00 22 01 0B 00 AB"));
    const QStringList bytes = e.lines();
    QTest::keyClicks(control<RichEditArea>(e, QStringLiteral("RichEdit")), QStringLiteral("typed"));
    action(e, "mnuUndoFilter")->trigger();
    QCOMPARE(e.lines(), bytes);

    // The mask filter reads the digits of "Bit :" alone; no digit is an error.
    action(e, "mnuUndoFilter")->trigger();
    e.setPlainDocument(log.join(QLatin1Char('\n')));
    control<QLineEdit>(e, QStringLiteral("EditPType"))->setText(QStringLiteral("05"));
    control<QLineEdit>(e, QStringLiteral("EditPByte"))->setText(QStringLiteral("x"));
    action(e, "mnuUserFilter")->trigger();
    QCOMPARE(s.dialogs.errors, QStringList{QStringLiteral("'' is not a valid integer value")});
    QCOMPARE(e.lines(), log);
    control<QLineEdit>(e, QStringLiteral("EditPByte"))->setText(QStringLiteral("a4"));
    action(e, "mnuUserFilter")->trigger();
    QCOMPARE(e.lines(), (QStringList{kept[1], kept[3]}));

    // The sort leaves nothing for "Return to the Old Values...".
    e.setPlainDocument(QStringLiteral("2a\n1a\n3a\nx\n\n1b"));
    action(e, "SortDatabyPorts1")->trigger();
    QCOMPARE(e.lines(), (QStringList{"1a", "1b", "2a", "3a"}));
    action(e, "mnuUndoFilter")->trigger();
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
                QTest::keyClick(control<RichEditArea>(e, QStringLiteral("RichEdit")),
                                Qt::Key_Escape);
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
    runStopped(action(e, "mnuClearSpace"), converted1);
    QVERIFY(converted1 >= 2000 && converted1 < 4999);
    QStringList expected;
    for (int i = 0; i < log.size(); ++i) {
        expected << (i <= converted1 ? converted(log[i], zelvar::TransformMode::Spaces) : log[i]);
    }
    QCOMPARE(e.lines(), expected);
    QVERIFY(expected[0] != log[0]);

    int filtered = -1;
    runStopped(action(e, "mnuF0B05"), filtered);
    QVERIFY(filtered >= 2000);
    QStringList kept;
    for (int i = 0; i <= filtered; ++i) {
        if (i % 3 != 1) kept << converted(log[i], zelvar::TransformMode::Packets0B05);
    }
    QCOMPARE(e.lines(), kept);
    action(e, "mnuUndoFilter")->trigger();
    QCOMPARE(e.lines(), log);
}

void EditorCommandsTest::markerToggles() {
    Setup s;
    TEditorForm& e = s.editor;
    e.setPlainDocument(QStringLiteral("abcdef ghi"));
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255), black = qRgb(0, 0, 0);

    select(e, 0, 3);
    control<QToolButton>(e, QStringLiteral("BtnRedMark"))->click();
    QCOMPARE(colorAt(e, 2), red);
    control<QToolButton>(e, QStringLiteral("BtnRedMark"))->click();
    QCOMPARE(colorAt(e, 0), black);
    control<QToolButton>(e, QStringLiteral("BtnRedMark"))->click();
    control<QToolButton>(e, QStringLiteral("BtnBlueMark"))->click();
    QCOMPARE(colorAt(e, 1), blue);
    QCOMPARE(colorAt(e, 3), black);

    // A mixed selection goes by its first character.
    select(e, 2, 6);
    control<QToolButton>(e, QStringLiteral("BtnBlueMark"))->click();
    QCOMPARE(colorAt(e, 2), black);
    QCOMPARE(colorAt(e, 5), black);
    QCOMPARE(colorAt(e, 1), blue);
    select(e, 0, 6);
    control<QToolButton>(e, QStringLiteral("BtnRedMark"))->click();
    for (int i : {0, 1, 2, 5}) QCOMPARE(colorAt(e, i), red);

    // Bold toggles, keeping the colour.
    select(e, 7, 10);
    control<QToolButton>(e, QStringLiteral("BtnBoldMark"))->click();
    QVERIFY(marksAt(e, 8).bold);
    control<QToolButton>(e, QStringLiteral("BtnBoldMark"))->click();
    QVERIFY(!marksAt(e, 8).bold);

    // Nothing selected: the text typed next takes the mark.
    area(e)->moveToEnd();
    control<QToolButton>(e, QStringLiteral("BtnBlueMark"))->click();
    QTest::keyClicks(control<RichEditArea>(e, QStringLiteral("RichEdit")), QStringLiteral("x"));
    QCOMPARE(colorAt(e, 10), blue);

    action(e, "mnuResetTTA")->trigger();
    QCOMPARE(e.plainText(), QStringLiteral("abcdef ghix"));
    for (int i = 0; i < 11; ++i) {
        QCOMPARE(colorAt(e, i), black);
        QVERIFY(!marksAt(e, i).bold);
    }
    QCOMPARE(selection(e), qMakePair(0, 0));
}

void EditorCommandsTest::longSelectionsMarkAsShortOnes() {
    Setup s;
    TEditorForm& e = s.editor;
    const QString text = hexLog(4000).join(QLatin1Char('\n')) + QLatin1Char('\n');
    QVERIFY(text.size() > 100000);
    e.setPlainDocument(text);
    auto* area = control<RichEditArea>(e, QStringLiteral("RichEdit"));
    using zelvar::MarkColor;
    const auto expect = [&text](std::initializer_list<std::tuple<int, int, zelvar::Marks>> parts) {
        zelvar::RichText document;
        for (const auto& [from, to, marks] : parts)
            document.append(utf16(text.mid(from, to - from)), marks);
        return document;
    };
    select(e, 10, 20);
    control<QToolButton>(e, QStringLiteral("BtnBlueMark"))->click();
    select(e, 40, 45);
    control<QToolButton>(e, QStringLiteral("BtnBoldMark"))->click();

    select(e, 15, 100000);
    control<QToolButton>(e, QStringLiteral("BtnRedMark"))->click();
    const int end = static_cast<int>(text.size());
    QCOMPARE(e.document(), expect({{0, 10, {}},
                                   {10, 15, {MarkColor::Blue, false}},
                                   {15, 40, {MarkColor::Red, false}},
                                   {40, 45, {MarkColor::Red, true}},
                                   {45, 100000, {MarkColor::Red, false}},
                                   {100000, end, {}}}));
    QCOMPARE(selection(e), qMakePair(15, 100000));
    // Marked already: off again; bold goes by the first character too.
    control<QToolButton>(e, QStringLiteral("BtnRedMark"))->click();
    control<QToolButton>(e, QStringLiteral("BtnBoldMark"))->click();
    QCOMPARE(e.document(), expect({{0, 10, {}},
                                   {10, 15, {MarkColor::Blue, false}},
                                   {15, 100000, {MarkColor::Black, true}},
                                   {100000, end, {}}}));

    // The view stays where it was.
    e.show();
    select(e, 2000, 100000);
    const int scrolled = area->verticalScrollBar()->value();
    QVERIFY(scrolled > 0);
    control<QToolButton>(e, QStringLiteral("BtnBoldMark"))->click();
    QCOMPARE(area->verticalScrollBar()->value(), scrolled);
    control<QToolButton>(e, QStringLiteral("BtnBoldMark"))->click();

    // Like a short one, it can be undone.
    const zelvar::RichText marked = e.document();
    control<QToolButton>(e, QStringLiteral("BtnRedMark"))->click();
    QVERIFY(e.document() != marked);
    QTest::keyClick(area, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(e.document(), marked);

    QTest::keyClick(area, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(selection(e), qMakePair(0, end));
    control<QToolButton>(e, QStringLiteral("BtnBlueMark"))->click();
    QCOMPARE(selection(e), qMakePair(0, end));
    QCOMPARE(e.document(), expect({{0, 15, {MarkColor::Blue, false}},
                                   {15, 100000, {MarkColor::Blue, true}},
                                   {100000, end, {MarkColor::Blue, false}}}));

    // The new document is the one the find buttons follow.
    select(e, 0, 0);
    QTest::keyClicks(area, QStringLiteral("QQ"));
    control<QLineEdit>(e, QStringLiteral("EditFind"))->setText(QStringLiteral("QQ"));
    select(e, 0, 0);
    control<QToolButton>(e, QStringLiteral("BtnFindNext"))->click();
    QCOMPARE(selection(e), qMakePair(0, 2));

    action(e, "mnuResetTTA")->trigger();
    zelvar::RichText plain;
    plain.append(utf16(QStringLiteral("QQ") + text), {});
    QCOMPARE(e.document(), plain);
    QCOMPARE(selection(e), qMakePair(0, 0));
}

// The window's commands and zelvar-edit's over the same sample: the text
// shown is, byte for byte, what the tool writes (its expected files).
void EditorCommandsTest::commandsGiveWhatZelvarEditGives() {
    Setup s;
    TEditorForm& e = s.editor;
    const struct {
        const char* action;
        const char* expected;
    } cases[] = {
        {"mnuClearTime", "strip-stamps"}, {"mnuClearSpace", "spaces"},
        {"mnuAddSpace", "divide"},        {"mnuHexToByte", "hex-to-byte"},
        {"mnuByteToHex", "byte-to-hex"},  {"mnuClear16", "min16"},
        {"mnuUserFilter", "mask"},        {"mnuF0B05", "packets-0b-05"},
        {"mnuClear32", "short"},          {"SortDatabyPorts1", "sort-ports"},
    };
    for (const auto& c : cases) {
        QVERIFY(e.openDocument(QStringLiteral(ZELVAR_TEST_DATA "/edit-sample.hex")));
        action(e, c.action)->trigger();
        QFile expected(QStringLiteral(ZELVAR_TEST_DATA "/edit-sample.%1.expected.txt")
                           .arg(QLatin1String(c.expected)));
        QVERIFY(expected.open(QIODevice::ReadOnly));
        QCOMPARE(e.plainText(), QString::fromUtf8(expected.readAll()));
    }
}

void EditorCommandsTest::findSequences() {
    Setup s;
    TEditorForm& e = s.editor;
    e.setPlainDocument(QStringLiteral("abc Abc ABC"));
    QTest::keyClicks(control<QLineEdit>(e, QStringLiteral("EditFind")), QStringLiteral("abc"));
    QCOMPARE(control<QLineEdit>(e, QStringLiteral("EditFind"))->text(), QStringLiteral("ABC"));

    using Sel = QPair<int, int>;
    for (const Sel& expected : {Sel{0, 3}, Sel{4, 7}, Sel{8, 11}, Sel{8, 11}}) {
        control<QToolButton>(e, QStringLiteral("BtnFindNext"))->click();
        QCOMPARE(selection(e), expected);
    }
    QCOMPARE(e.statusText(0), QStringLiteral(" Selection Length : 3"));
    for (const Sel& expected : {Sel{4, 7}, Sel{0, 3}, Sel{0, 3}}) {
        control<QToolButton>(e, QStringLiteral("BtnFindPrev"))->click();
        QCOMPARE(selection(e), expected);
    }
    // The caret inside an occurrence: that one is not found.
    select(e, 5, 5);
    control<QToolButton>(e, QStringLiteral("BtnFindNext"))->click();
    QCOMPARE(selection(e), Sel(8, 11));

    // The search follows the document as it changes.
    e.setPlainDocument(QStringLiteral("xyz"));
    control<QToolButton>(e, QStringLiteral("BtnFindNext"))->click();
    QCOMPARE(selection(e), Sel(0, 0));
    area(e)->moveToEnd();
    QTest::keyClicks(control<RichEditArea>(e, QStringLiteral("RichEdit")), QStringLiteral(" aBc"));
    select(e, 0, 0);
    control<QToolButton>(e, QStringLiteral("BtnFindNext"))->click();
    QCOMPARE(selection(e), Sel(4, 7));
    // Marks leave the text as it was; typing over it, even as many letters, does not.
    select(e, 0, 7);
    control<QToolButton>(e, QStringLiteral("BtnRedMark"))->click();
    select(e, 0, 3);
    area(e)->insertText(QStringLiteral("ABC"));
    select(e, 0, 0);
    control<QToolButton>(e, QStringLiteral("BtnFindNext"))->click();
    QCOMPARE(selection(e), Sel(0, 3));
    control<QToolButton>(e, QStringLiteral("BtnFindNext"))->click();
    QCOMPARE(selection(e), Sel(4, 7));

    e.setPlainDocument(QStringLiteral("связь Связь СВЯЗЬ"));
    control<QLineEdit>(e, QStringLiteral("EditFind"))->setText(QStringLiteral("связь"));
    area(e)->moveToEnd();
    control<QToolButton>(e, QStringLiteral("BtnFindPrev"))->click();
    QCOMPARE(selection(e), Sel(12, 17));
    control<QLineEdit>(e, QStringLiteral("EditFind"))->clear();
    control<QToolButton>(e, QStringLiteral("BtnFindPrev"))->click();
    QCOMPARE(selection(e), Sel(12, 17));
}

void EditorCommandsTest::decodeGivesWhatZelvarDecodeGives() {
    Setup s;
    TEditorForm& e = s.editor;
    s.dialogs.openAnswers << QStringLiteral(ZELVAR_TEST_DATA "/traffic.hex");
    action(e, "mnuOpenRtf")->trigger();
    action(e, "SortDatabyPorts1")->trigger();
    // A note in Cyrillic amid the bytes counts for nothing.
    const auto note = static_cast<std::size_t>(e.lines().first().indexOf(QLatin1Char('\t'))) + 1;
    area(e)->setSelection(note, note);
    area(e)->insertText(QStringLiteral("жд"));
    const QStringList lines = e.lines();
    QVERIFY(lines.size() > 3);

    // While it runs both decode commands are off, and a transform is refused.
    bool checked = false;
    QTimer::singleShot(0, &e, [&] {
        checked = true;
        QVERIFY(!control<QPushButton>(e, QStringLiteral("SBDecode"))->isEnabled());
        QVERIFY(!action(*s.h.main, "mnuDecode")->isEnabled());
        action(e, "mnuClearTime")->trigger();
    });
    control<QPushButton>(e, QStringLiteral("SBDecode"))->click();
    QVERIFY(checked);
    QCOMPARE(e.lines(), lines);
    QVERIFY(control<QPushButton>(e, QStringLiteral("SBDecode"))->isEnabled());
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
    Setup fresh;
    fresh.editor.setPlainDocument(QStringLiteral("x"));
    control<QPushButton>(fresh.editor, QStringLiteral("SBDecode"))->click();
    text = fresh.h.main->textLogLines();
    QVERIFY(text.filter(QStringLiteral("Editor Data: ")).last().endsWith(
        QStringLiteral("\tFile: Not Saved")));
}

void EditorCommandsTest::decodeRestoresTheCommandsWhenItFails() {
    Setup s;
    TEditorForm& e = s.editor;
    FailingHost host;
    e.setHost(&host);
    control<QPushButton>(e, QStringLiteral("SBDecode"))->click();
    QVERIFY(s.dialogs.errors.isEmpty());  // an empty document decodes nothing

    e.setPlainDocument(QStringLiteral("1$451C2A0B\t00 11 22 33 0B"));
    control<QPushButton>(e, QStringLiteral("SBDecode"))->click();
    QCOMPARE(s.dialogs.errors, QStringList{QStringLiteral("No room left on the device")});
    QVERIFY(control<QPushButton>(e, QStringLiteral("SBDecode"))->isEnabled() &&
            host.mainDecodeEnabled);
    QVERIFY(!e.commandRunning());

    // During a session the main window's command stays off.
    host.session = true;
    control<QPushButton>(e, QStringLiteral("SBDecode"))->click();
    QVERIFY(control<QPushButton>(e, QStringLiteral("SBDecode"))->isEnabled() &&
            !host.mainDecodeEnabled);
    e.setHost(&s.h.main->model());
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
        action(e, "mnuF0B05")->trigger();
        action(e, "mnuUndoFilter")->trigger();
        action(e, "SortDatabyPorts1")->trigger();
        action(e, "mnuUserFilter")->trigger();
        s.dialogs.openAnswers << other;
        action(e, "mnuOpenRtf")->trigger();
        e.filesDropped({other});
        control<QPushButton>(e, QStringLiteral("SBDecode"))->click();
        QTest::keyClicks(control<RichEditArea>(e, QStringLiteral("RichEdit")),
                         QStringLiteral("typed"));
    });
    action(e, "mnuAddSpace")->trigger();
    QVERIFY(ran);
    QCOMPARE(s.dialogs.openDialogs, 0);
    QCOMPARE(e.docName(), QStringLiteral("Not Saved"));
    QCOMPARE(s.h.main->textLogLines(), before);
    QStringList expected;
    for (const QString& line : log) expected << converted(line, zelvar::TransformMode::DivideSpaces);
    QCOMPARE(e.lines(), expected);
    QVERIFY(!control<RichEditArea>(e, QStringLiteral("RichEdit"))->isReadOnly());

    // The sort lets events through as well, while it reads and sorts.
    e.setPlainDocument(log.join(QLatin1Char('\n')));
    ran = false;
    QTimer::singleShot(0, &e, [&] {
        ran = true;
        QTest::keyClicks(control<RichEditArea>(e, QStringLiteral("RichEdit")),
                         QStringLiteral("typed"));
        action(e, "mnuF0B05")->trigger();
    });
    action(e, "SortDatabyPorts1")->trigger();
    QVERIFY(ran);
    QCOMPARE(e.lines().size(), log.size());
    QVERIFY(!e.plainText().contains(QStringLiteral("typed")));

    // Refused, not lost for good: the same commands work once it is over.
    e.filesDropped({other});
    QCOMPARE(e.docName(), QStringLiteral("other.hex"));
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
    action(e, "mnuClearTime")->trigger();
    QVERIFY(shownMeanwhile);
    QTRY_VERIFY(!e.isVisible());  // from the event loop, once the run has ended
    const QStringList lines = e.lines();
    QCOMPARE(lines.size(), log.size());
    QCOMPARE(lines.last(), log.last());
    // The half-converted text is one step away from the whole text before it.
    area(e)->undo();
    QCOMPARE(e.lines(), log);

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
    action(e, "mnuClearTime")->trigger();
    QVERIFY(refused);
    QCOMPARE(closed.count(), 0);
    QCOMPARE(e.lines().last(), log.last());
    QTRY_COMPARE(closed.count(), 1);
}

void EditorCommandsTest::everyCommandIsOneStepToUndo() {
    Setup s;
    TEditorForm& e = s.editor;
    RichEditArea* a = area(e);
    e.setPlainDocument(hexLog(7).join(QLatin1Char('\n')));
    select(e, 2, 6);
    control<QToolButton>(e, QStringLiteral("BtnRedMark"))->click();
    a->setSelection(0, 0);
    QTest::keyClicks(a, QStringLiteral("x"));
    const zelvar::RichText typed = e.document();

    // "Return to the Old Values..." first empties a loaded document; the
    // rest replace it with their result. Ctrl+Z gives back the text and its
    // marks from before, Ctrl+Y the result again.
    const QAction* undoItem = e.findChild<QAction*>(QStringLiteral("mnuEUndo"));
    const QAction* redoItem = e.findChild<QAction*>(QStringLiteral("mnuERedo"));
    QVERIFY(undoItem && redoItem);
    QVERIFY(undoItem->text().startsWith(QStringLiteral("Отменить")) &&
            undoItem->text().endsWith(QStringLiteral("Ctrl+Z")));
    QVERIFY(redoItem->text().startsWith(QStringLiteral("Повторить")) &&
            redoItem->text().endsWith(QStringLiteral("Ctrl+Y")));
    for (const char* command : {"mnuUndoFilter", "mnuClearAll"}) {
        action(e, command)->trigger();
        QCOMPARE(e.plainText(), QString());
        QCOMPARE(undoItem->toolTip(), action(e, command)->text());
        QTest::keyClick(a, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(e.document() == typed);
        QCOMPARE(redoItem->toolTip(), action(e, command)->text());
    }
    // Each on the typed log: undone, redone, and undone again.
    for (const char* command :
         {"mnuClearTime", "mnuClearSpace", "mnuAddSpace", "mnuByteToHex", "mnuF0B05",
          "SortDatabyPorts1", "mnuUndoFilter", "mnuClear16", "mnuClearAll"}) {
        action(e, command)->trigger();
        const QString after = e.plainText();
        QCOMPARE(undoItem->toolTip(), action(e, command)->text());
        QTest::keyClick(a, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY2(e.document() == typed, command);
        QTest::keyClick(a, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(e.plainText(), after);
        QTest::keyClick(a, Qt::Key_Z, Qt::ControlModifier);
    }
    // Typing before the commands is still there to undo beneath them.
    while (a->content().canUndo()) a->undo();
    QCOMPARE(e.plainText(), hexLog(7).join(QLatin1Char('\n')));

    // Text beyond ASCII goes to the command and back as it was.
    e.setPlainDocument(QStringLiteral("2x\n1Пример 😀"));
    action(e, "SortDatabyPorts1")->trigger();
    QCOMPARE(e.plainText(), QStringLiteral("1Пример 😀\n2x\n"));
}

void EditorCommandsTest::historyKeepsEightCommandsOrTwiceTheDocument() {
    Setup s;
    TEditorForm& e = s.editor;
    RichEditArea* a = area(e);
    const auto steps = [a] {
        int count = 0;
        for (; a->content().canUndo(); ++count) a->undo();
        while (a->content().canRedo()) a->redo();
        return count;
    };
    // Steps that hold no text: only their number counts.
    e.setPlainDocument({});
    for (int i = 0; i < 9; ++i) action(e, "mnuClearAll")->trigger();
    QCOMPARE(steps(), 8);

    // A filter keeping a line of many: the text before it is more than
    // twice the document, yet the newest step always stays; the next
    // command drops it.
    QStringList log = hexLog(300);
    for (int i = 1; i < log.size(); ++i) {
        log[i]
            .replace(QStringLiteral(" 0B "), QStringLiteral(" 03 "))
            .replace(QStringLiteral(" 05 "), QStringLiteral(" 03 "));
    }
    e.setPlainDocument(log.join(QLatin1Char('\n')));
    action(e, "mnuF0B05")->trigger();
    QCOMPARE(e.lines().size(), 1);
    QCOMPARE(steps(), 1);
    action(e, "mnuClearSpace")->trigger();
    QCOMPARE(steps(), 1);
}

QTEST_MAIN(EditorCommandsTest)
// The commands read the document's lines from its shared text: each line
// and the count are those of the whole text encoded and split at once,
// whatever its line ends and lone surrogates; a filter's result, UTF-8 that
// may cut a character, becomes the document with U+FFFD for each byte that
// begins none.
void EditorCommandsTest::documentLinesAreTheWholeTextsLines() {
    const std::u16string texts[] = {
        u"", u"a", u"a\n", u"\n", u"a\r\nb\rc\n\r\nd", u"a\r", u"\r\r\n\n",
        u"\u041F\xE9x\n\xD83D\xDE00\n", u"x\xD83D\ny\xDE00\rz\xD83D",
    };
    for (const std::u16string& text : texts) {
        const zelvar::LineList whole = zelvar::LineList::fromText(zelvar::Utf8Of(text));
        zelvar::EditorText document;
        document.assign({text, {}});
        zelvar::SharedLines lines(document.share());
        QCOMPARE(lines.lineCount(), whole.size());
        for (std::size_t i = 0; i < whole.size(); ++i) {
            const std::string_view line = lines.next();
            QCOMPARE(QByteArray(line.data(), static_cast<qsizetype>(line.size())),
                     QByteArray(whole[i].data(), static_cast<qsizetype>(whole[i].size())));
        }
    }
    const zelvar::LineList cut = zelvar::LineList::fromText("a\xD0\n\x9F\xD0\x9F\n\xF0\x9F\x98\x80");
    zelvar::EditorText built;
    built.assignUtf8(cut.share());
    QVERIFY(built.richText().text == u"a\uFFFD\n\uFFFD\u041F\n\xD83D\xDE00\n");
}

#include "EditorCommandsTest.moc"
