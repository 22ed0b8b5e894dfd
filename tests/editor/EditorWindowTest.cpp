// The editor window as a user drives it: its controls and menus, opening,
// dropping and saving documents, the status texts, Escape and the context
// menu, with the main window attached as the program attaches it.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "../main/MainHarness.h"
#include "EditorDialogs.h"
#include "EditorHost.h"
#include "RichEditArea.h"
#include "Rtf.h"

namespace {

// While `failAt` is not 0, the failAt-th allocation of a document's size
// (counted in `largeAllocations`) throws as a full memory does.
std::atomic<long> failAt{0};
std::atomic<long> largeAllocations{0};

void* allocate(std::size_t size) {
    constexpr std::size_t kLarge = 256 * 1024;
    if (size >= kLarge && failAt != 0 && ++largeAllocations == failAt) throw std::bad_alloc();
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete[](void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}

namespace {

class ScriptedEditorDialogs : public zelvar::EditorDialogs {
public:
    QStringList openAnswers;
    QStringList saveAnswers;
    QStringList errors;
    QString proposedName;
    int openDialogs = 0;
    int saveDialogs = 0;

    QString openDocument(QWidget*) override {
        ++openDialogs;
        return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
    }
    QString saveDocumentAs(QWidget*, const QString& proposed) override {
        ++saveDialogs;
        proposedName = proposed;
        return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
    }
    // A box lets window events through: it stands inside its command's run.
    void showError(QWidget* editor, const QString& text) override {
        errors << text;
        QVERIFY2(static_cast<TEditorForm*>(editor)->commandRunning(), qPrintable(text));
    }
};

// The same notation as the menu tests of the main window.
QStringList describe(const QMenu* menu) {
    QStringList lines;
    for (const QAction* action : menu->actions()) {
        if (action->isSeparator()) {
            lines << QStringLiteral("-");
            continue;
        }
        QString line = action->text();
        if (action->menu()) line += QStringLiteral(" >");
        if (!action->shortcut().isEmpty()) line += QLatin1Char('|') + action->shortcut().toString();
        if (!action->isEnabled()) line += QStringLiteral(" (off)");
        lines << line;
    }
    return lines;
}

// The document with each marked run in braces: R red, B blue, b bold.
QString shown(const zelvar::RichText& document) {
    QString out;
    std::size_t at = 0;
    for (const zelvar::MarkRun& run : document.runs) {
        const QString part =
            QString::fromUtf16(document.text.data() + at, static_cast<qsizetype>(run.length));
        at += run.length;
        QString tag;
        if (run.marks.color == zelvar::MarkColor::Red) tag += QLatin1Char('R');
        if (run.marks.color == zelvar::MarkColor::Blue) tag += QLatin1Char('B');
        if (run.marks.bold) tag += QLatin1Char('b');
        out += tag.isEmpty() ? part : QStringLiteral("{%1:%2}").arg(tag, part);
    }
    return out;
}

QString shownFile(const QString& path) {
    const QByteArray bytes = MainHarness::readAll(path);
    return shown(zelvar::ReadRtf(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))));
}

void drop(QWidget* target, const QStringList& paths) {
    auto* mime = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    mime->setUrls(urls);
    const QPointF at(10, 10);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent dropped(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropped);
    QVERIFY(dropped.isAccepted());
    QCoreApplication::processEvents();
    delete mime;
}

void markRed(TEditorForm& editor, int from, int to) {
    auto* area = control<RichEditArea>(editor, QStringLiteral("RichEdit"));
    area->setSelection(static_cast<std::size_t>(from), static_cast<std::size_t>(to));
    area->mark([](zelvar::Marks) { return zelvar::Marks{zelvar::MarkColor::Red, true}; });
}

const QByteArray kHexLog = "1$451C2A0B\t00 11 22 33 0B\r\n2$451C2A0C\t00 11 22 33 05\r\n";

}  // namespace

class EditorWindowTest : public QObject {
    Q_OBJECT

private slots:
    void controlsAndMenusAreInPlace();
    void hexLogOpensPlainAndSaveRewritesItAsRtf();
    void marksOfAnEarlierDocumentNeverCarryOver();
    void failedOpenKeepsTheDocument();
    void openingOutOfMemoryKeepsTheDocument();
    void dropsOpenOnlyTheFirstExistingDocument();
    void commandsArrivingWhileOpeningAreRefused();
    void saveAsRules();
    void clearKeepsTheNameAndSaveWritesAnEmptyDocument();
    void statusFollowsCaretAndSelection();
    void escapeAndContextMenu();
    void fieldsAreUpperCaseAndStored();
    void platformSaveDialogAddsRtfAndAsksBeforeOverwriting();
    void mainWindowDecodesForTheEditor();
    void tabsReachTheStopsOfTheLogViews();
    void selectedMarksKeepTheirColour();
    void keysWhileOpeningWaitOrAreRefused();
    void statusPanelsHoldTheirLongestTexts();

private:
    struct Setup {
        MainHarness h;
        ScriptedEditorDialogs dialogs;
        TEditorForm& editor;
        explicit Setup(bool editorOpen = true) : editor(*h.editor) {
            editor.setDialogs(&dialogs);
            h.start(editorOpen);
        }
        QString file(const QString& name, const QByteArray& bytes) const {
            const QString path = h.scratch(name);
            MainHarness::writeAll(path, bytes);
            return path;
        }
        void open(const QString& path) {
            dialogs.openAnswers << path;
            action(editor, "mnuOpenRtf")->trigger();
        }
    };
};

void EditorWindowTest::controlsAndMenusAreInPlace() {
    Setup s;
    TEditorForm& e = s.editor;
    QCOMPARE(e.windowTitle(), QStringLiteral(" Editor"));
    QCOMPARE(e.minimumSize(), QSize(850, 250));
    QVERIFY(e.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(e.docName(), QStringLiteral("Not Saved"));
    QVERIFY(e.docPath().isEmpty() && e.workLinesEmpty());

    QCOMPARE(describe(menu(e, "mnuFile")),
             (QStringList{"Open...|Ctrl+O", "-", "Save|Ctrl+S (off)", "-", "Save As..."}));
    QCOMPARE(describe(menu(e, "mnuOptions")),
             (QStringList{"Clear Data Fields...", "-", "Remove From the Text >", "-",
                          "Packet Filter >", "-", "Converter >", "-", "Sort Data by Ports...", "-",
                          "Divide the Text of the Spaces..."}));
    QCOMPARE(describe(menu(e, "mnuRemove")),
             (QStringList{"All Markers...", "-", "Port / Date / Time...", "-",
                          "Strings is Shorter Than 16-bit...", "-", "Short Strings...", "-",
                          "Spaces..."}));
    QCOMPARE(describe(menu(e, "mnuFilter")),
             (QStringList{"Packets \"0B\" and \"05\"...", "-", "By Mask Value / Bit...", "-",
                          "Return to the Old Values..."}));
    QCOMPARE(describe(menu(e, "mnuConverter")),
             (QStringList{"Hex_to_Byte...", "-", "Byte_to_Hex..."}));
    QCOMPARE(describe(menu(e, "RichEditMenu")),
             (QStringList{"Отменить           Ctrl+Z (off)", "-", "Повторить          Ctrl+Y (off)",
                          "-", "Вырезать           Ctrl+X", "-", "Копировать       Ctrl+C", "-",
                          "Вставить            Ctrl+V", "-", "Выделить все    Ctrl+A"}));

    QCOMPARE(control<RichEditArea>(e, QStringLiteral("RichEdit"))->palette().color(QPalette::Base),
             QColor(255, 251, 240));
    QCOMPARE(control<RichEditArea>(e, QStringLiteral("RichEdit"))
                 ->palette()
                 .color(QPalette::Inactive, QPalette::Highlight),
             control<RichEditArea>(e, QStringLiteral("RichEdit"))
                 ->palette()
                 .color(QPalette::Active, QPalette::Highlight));
    QCOMPARE(control<RichEditArea>(e, QStringLiteral("RichEdit"))->font().pointSize(), 8);
    QCOMPARE(control<RichEditArea>(e, QStringLiteral("RichEdit"))->verticalScrollBarPolicy(),
             Qt::ScrollBarAlwaysOn);
    // Long lines wrap at the window's edge: nothing scrolls sideways.
    QCOMPARE(control<RichEditArea>(e, QStringLiteral("RichEdit"))->horizontalScrollBarPolicy(),
             Qt::ScrollBarAlwaysOff);

    QCOMPARE(control<QLineEdit>(e, QStringLiteral("EditFind"))->width(), 363);
    QCOMPARE(control<QLineEdit>(e, QStringLiteral("EditFind"))->maxLength(), 50);
    QCOMPARE(control<QLineEdit>(e, QStringLiteral("EditFind"))->toolTip(),
             QStringLiteral("Строка поиска"));
    QCOMPARE(control<QToolButton>(e, QStringLiteral("BtnFindPrev"))->toolTip(),
             QStringLiteral("Поиск назад..."));
    QCOMPARE(control<QToolButton>(e, QStringLiteral("BtnFindNext"))->toolTip(),
             QStringLiteral("Поиск вперед..."));
    const QList<QToolButton*> markers = {control<QToolButton>(e, QStringLiteral("BtnRedMark")),
                                         control<QToolButton>(e, QStringLiteral("BtnBoldMark")),
                                         control<QToolButton>(e, QStringLiteral("BtnBlueMark"))};
    QStringList captions;
    for (QToolButton* button : markers) {
        captions << button->text() + QLatin1Char(' ') + button->toolTip() + QLatin1Char(' ') +
                        button->palette().color(QPalette::ButtonText).name();
    }
    QCOMPARE(captions, (QStringList{"R Красный маркер #ff0000", "B Жирный маркер #000000",
                                    "B Синий маркер #0000ff"}));
    // Left to right as listed, "Decode..." at the right end.
    QVERIFY(control<QLineEdit>(e, QStringLiteral("EditFind"))->x() <
                control<QToolButton>(e, QStringLiteral("BtnFindPrev"))->x() &&
            control<QToolButton>(e, QStringLiteral("BtnFindPrev"))->x() <
                control<QToolButton>(e, QStringLiteral("BtnFindNext"))->x());
    QVERIFY(control<QToolButton>(e, QStringLiteral("BtnFindNext"))->x() <
                control<QToolButton>(e, QStringLiteral("BtnRedMark"))->x() &&
            control<QToolButton>(e, QStringLiteral("BtnBlueMark"))->x() <
                control<QLineEdit>(e, QStringLiteral("EditPType"))->x());
    QVERIFY(control<QLineEdit>(e, QStringLiteral("EditPType"))->x() <
                control<QLineEdit>(e, QStringLiteral("EditPByte"))->x() &&
            control<QLineEdit>(e, QStringLiteral("EditPByte"))->x() <
                control<QPushButton>(e, QStringLiteral("SBDecode"))->x());
    QVERIFY(control<QPushButton>(e, QStringLiteral("SBDecode"))->geometry().right() >
            e.width() - 20);
    QCOMPARE(control<QLineEdit>(e, QStringLiteral("EditPType"))->text() +
                 control<QLineEdit>(e, QStringLiteral("EditPByte"))->text(),
             QStringLiteral("0B4"));

    const QList<QLabel*> panels =
        control<QWidget>(e, QStringLiteral("EStatusBar"))->findChildren<QLabel*>();
    QCOMPARE(panels.size(), 3);
    QVERIFY(panels[0]->width() >= 150 && panels[1]->width() >= 120 && panels[2]->width() >= 50);
    QCOMPARE(e.statusText(0), QStringLiteral(" Cursor Position : 0"));
}

void EditorWindowTest::hexLogOpensPlainAndSaveRewritesItAsRtf() {
    Setup s;
    TEditorForm& e = s.editor;
    const QString path = s.file(QStringLiteral("log.hex"), kHexLog);
    s.open(path);
    QCOMPARE(e.plainText(),
             QString::fromLatin1(kHexLog).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    QCOMPARE(e.document().runs.size(), std::size_t{1});
    QCOMPARE(e.windowTitle(), QStringLiteral(" Editor - log.hex"));
    QCOMPARE(e.docPath(), path);
    QVERIFY(action(e, "mnuSave")->isEnabled());

    markRed(e, 11, 13);
    e.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&e));
    QTest::keyClick(control<RichEditArea>(e, QStringLiteral("RichEdit")), Qt::Key_S,
                    Qt::ControlModifier);
    QVERIFY(MainHarness::readAll(path).startsWith("{\\rtf1"));
    const QString marked =
        QStringLiteral("1$451C2A0B\t{Rb:00} 11 22 33 0B\n2$451C2A0C\t00 11 22 33 05\n");
    QCOMPARE(shownFile(path), marked);

    // Opened again, through the key, the marks are back.
    s.open(s.file(QStringLiteral("other.txt"), "x"));
    s.dialogs.openAnswers << path;
    QTest::keyClick(control<RichEditArea>(e, QStringLiteral("RichEdit")), Qt::Key_O,
                    Qt::ControlModifier);
    QCOMPARE(shown(e.document()), marked);
    QVERIFY(s.dialogs.errors.isEmpty());
}

void EditorWindowTest::marksOfAnEarlierDocumentNeverCarryOver() {
    Setup s;
    TEditorForm& e = s.editor;
    s.open(QStringLiteral(ZELVAR_TEST_DATA "/libreoffice-style.rtf"));
    QCOMPARE(shown(e.document()),
             QStringLiteral("1$451C2A0B\t00 11 {R:0B} 22\n{b:Пример} {B:blue}\nlink café end"));
    // A Cyrillic note in 1251, named .rtf: the content decides.
    s.open(s.file(QStringLiteral("note.rtf"), "\xCF\xF0\xE8\xEC\xE5\xF0\r\n"));
    QCOMPARE(shown(e.document()), QStringLiteral("Пример\n"));
    QTest::keyClicks(control<RichEditArea>(e, QStringLiteral("RichEdit")), QStringLiteral("x"));
    QCOMPARE(shown(e.document()), QStringLiteral("xПример\n"));
}

void EditorWindowTest::failedOpenKeepsTheDocument() {
    Setup s;
    TEditorForm& e = s.editor;
    const QString path = s.file(QStringLiteral("log.hex"), kHexLog);
    s.open(path);
    markRed(e, 0, 1);
    const QString before = shown(e.document());

    // Also a FIFO without a writer, a device of endless bytes and a file
    // over the limit: each refused at once.
    QVERIFY(::mkfifo(qPrintable(s.h.scratch(QStringLiteral("fifo.hex"))), 0600) == 0);
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), s.h.scratch(QStringLiteral("zero.hex"))));
    QFile huge(s.h.scratch(QStringLiteral("huge.txt")));
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize((qint64{256} << 20) + 1));
    for (const char* name : {"missing.hex", "fifo.hex", "zero.hex", "huge.txt"}) {
        s.open(s.h.scratch(QLatin1String(name)));
        QVERIFY(s.dialogs.errors.last().contains(QLatin1String(name)));
    }
    QCOMPARE(s.dialogs.errors.size(), 4);
    QVERIFY(s.dialogs.errors.last().contains(QStringLiteral("256 MiB")));
    QCOMPARE(shown(e.document()), before);
    QCOMPARE(e.docPath(), path);
    QCOMPARE(e.docName(), QStringLiteral("log.hex"));
    QCOMPARE(e.windowTitle(), QStringLiteral(" Editor - log.hex"));

    // Cancelling the dialog changes nothing either.
    action(e, "mnuOpenRtf")->trigger();
    QCOMPARE(shown(e.document()), before);
}

// Memory that runs out at any step of opening a day's log: the document stays
// as it was, the box says why, and the area takes typing again.
void EditorWindowTest::openingOutOfMemoryKeepsTheDocument() {
    Setup s;
    TEditorForm& e = s.editor;
    auto* a = control<RichEditArea>(e, QStringLiteral("RichEdit"));
    s.open(s.file(QStringLiteral("before.txt"), "before"));
    QString before = QStringLiteral("before");
    QByteArray log;
    for (int i = 0; i < 20000; ++i) log += kHexLog;
    const QString path = s.file(QStringLiteral("day.hex"), log);
    for (long step = 1;; ++step) {
        largeAllocations = 0;
        failAt = step;
        bool escaped = false;
        try {
            s.open(path);
        } catch (...) {
            escaped = true;
        }
        failAt = 0;
        QVERIFY2(!escaped, qPrintable(QStringLiteral("allocation %1").arg(step)));
        QVERIFY(!e.commandRunning());
        if (largeAllocations < step) break;  // nothing failed: the log is open
        QCOMPARE(e.plainText(), before);
        QCOMPARE(e.docName(), QStringLiteral("before.txt"));
        QCOMPARE(s.dialogs.errors.size(), step);
        QTest::keyClick(a, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(a, Qt::Key_Q);
        before += QLatin1Char('q');
        QCOMPARE(e.plainText(), before);
    }
    QCOMPARE(e.docName(), QStringLiteral("day.hex"));
}

void EditorWindowTest::dropsOpenOnlyTheFirstExistingDocument() {
    Setup s;
    TEditorForm& e = s.editor;
    const QString upper = s.file(QStringLiteral("log.Hex"), kHexLog);
    const QString csv = s.file(QStringLiteral("log.csv"), "csv");
    const QString text = s.file(QStringLiteral("second.TXT"), "second");
    QDir(s.h.scratch(QString())).mkdir(QStringLiteral("folder.hex"));

    drop(&e, {csv, text});
    drop(control<RichEditArea>(e, QStringLiteral("RichEdit")),
         {s.h.scratch(QStringLiteral("folder.hex"))});
    drop(control<RichEditArea>(e, QStringLiteral("RichEdit")),
         {s.h.scratch(QStringLiteral("missing.txt"))});
    QVERIFY(e.plainText().isEmpty());
    QCOMPARE(e.windowTitle(), QStringLiteral(" Editor"));
    QVERIFY(!action(e, "mnuSave")->isEnabled());

    drop(control<RichEditArea>(e, QStringLiteral("RichEdit")), {upper, text});
    QCOMPARE(e.docName(), QStringLiteral("log.Hex"));
    QVERIFY(e.plainText().startsWith(QStringLiteral("1$451C2A0B")));
    QVERIFY(action(e, "mnuSave")->isEnabled());
    drop(control<QWidget>(e, QStringLiteral("EStatusBar")), {text});
    QCOMPARE(e.plainText(), QStringLiteral("second"));
    QCOMPARE(e.windowTitle(), QStringLiteral(" Editor - second.TXT"));
    QVERIFY(s.dialogs.errors.isEmpty());
}

void EditorWindowTest::commandsArrivingWhileOpeningAreRefused() {
    Setup s;
    TEditorForm& e = s.editor;
    const QString first = s.file(QStringLiteral("first.hex"), kHexLog);
    const QString other = s.file(QStringLiteral("other.txt"), "other");
    s.open(other);
    const QByteArray otherBytes = MainHarness::readAll(other);

    bool ran = false;
    QTimer::singleShot(0, &e, [&] {
        ran = true;
        QVERIFY(e.commandRunning());
        QVERIFY(!e.openDocument(other));
        e.filesDropped({other});
        e.mnuOpenRtfClick();
        e.mnuSaveClick();
        e.mnuSaveRtfClick();
        e.mnuClearAllClick();
    });
    QVERIFY(e.openDocument(first));
    QVERIFY(ran);
    QCOMPARE(s.dialogs.openDialogs, 1);
    QCOMPARE(s.dialogs.saveDialogs, 0);
    QCOMPARE(e.docName(), QStringLiteral("first.hex"));
    QVERIFY(e.plainText().startsWith(QStringLiteral("1$451C2A0B")));
    QCOMPARE(MainHarness::readAll(other), otherBytes);
    QVERIFY(!e.commandRunning());
    QVERIFY(!control<RichEditArea>(e, QStringLiteral("RichEdit"))->isReadOnly());
}

void EditorWindowTest::saveAsRules() {
    Setup s;
    TEditorForm& e = s.editor;
    action(e, "mnuSaveRtf")->trigger();
    QCOMPARE(s.dialogs.saveDialogs, 0);  // nothing to save, no dialog

    control<RichEditArea>(e, QStringLiteral("RichEdit"))
        ->insertText(QStringLiteral("Пример Ω"));
    action(e, "mnuSaveRtf")->trigger();  // cancelled
    QCOMPARE(s.dialogs.saveDialogs, 1);
    QVERIFY(
        QRegularExpression(QStringLiteral("^\\d{14}$")).match(s.dialogs.proposedName).hasMatch());
    QCOMPARE(e.docName(), QStringLiteral("Not Saved"));

    const QString path = s.h.scratch(QStringLiteral("chosen.rtf"));
    s.dialogs.saveAnswers << path;
    action(e, "mnuSaveRtf")->trigger();
    QCOMPARE(e.docName(), QStringLiteral("chosen.rtf"));
    QCOMPARE(e.docPath(), path);
    QCOMPARE(e.windowTitle(), QStringLiteral(" Editor - chosen.rtf"));
    QVERIFY(!action(e, "mnuSave")->isEnabled());  // only opening enables it
    QCOMPARE(shownFile(path), QStringLiteral("Пример Ω"));

    // A path that cannot be written: the error, the new name, the old caption.
    s.dialogs.saveAnswers << s.h.scratch(QStringLiteral("no/such/folder.rtf"));
    action(e, "mnuSaveRtf")->trigger();
    QCOMPARE(s.dialogs.errors.size(), 1);
    QCOMPARE(e.docName(), QStringLiteral("folder.rtf"));
    QCOMPARE(e.windowTitle(), QStringLiteral(" Editor - chosen.rtf"));
}

void EditorWindowTest::clearKeepsTheNameAndSaveWritesAnEmptyDocument() {
    Setup s;
    TEditorForm& e = s.editor;
    const QString path = s.file(QStringLiteral("log.hex"), kHexLog);
    s.open(path);
    action(e, "mnuClearAll")->trigger();
    QVERIFY(e.plainText().isEmpty());
    QCOMPARE(e.windowTitle(), QStringLiteral(" Editor - log.hex"));
    QVERIFY(action(e, "mnuSave")->isEnabled());
    action(e, "mnuSave")->trigger();
    QVERIFY(MainHarness::readAll(path).startsWith("{\\rtf1"));
    QCOMPARE(shownFile(path), QString());
}

void EditorWindowTest::statusFollowsCaretAndSelection() {
    Setup s;
    TEditorForm& e = s.editor;
    s.open(s.file(QStringLiteral("log.hex"), kHexLog));
    QCOMPARE(e.statusText(0), QStringLiteral(" Cursor Position : 0"));
    control<RichEditArea>(e, QStringLiteral("RichEdit"))->setSelection(3, 8);
    QCOMPARE(e.statusText(0), QStringLiteral(" Selection Length : 5"));
    // Across a line end, which counts as one character.
    control<RichEditArea>(e, QStringLiteral("RichEdit"))->setSelection(30, 30);
    QCOMPARE(e.statusText(0), QStringLiteral(" Cursor Position : 30"));
    QTest::mouseClick(control<RichEditArea>(e, QStringLiteral("RichEdit"))->viewport(),
                      Qt::LeftButton, {}, QPoint(1, 1));
    QCOMPARE(e.statusText(0), QStringLiteral(" Cursor Position : 0"));
}

void EditorWindowTest::escapeAndContextMenu() {
    Setup s;
    TEditorForm& e = s.editor;
    QTest::keyClicks(control<RichEditArea>(e, QStringLiteral("RichEdit")), QStringLiteral("abc"));
    QVERIFY(!e.stopAsked());
    QTest::keyClick(control<RichEditArea>(e, QStringLiteral("RichEdit")), Qt::Key_Escape);
    QVERIFY(e.stopAsked());
    QCOMPARE(e.plainText(), QStringLiteral("abc"));

    action(e, "nmuESelAll")->trigger();
    QCOMPARE(e.statusText(0), QStringLiteral(" Selection Length : 3"));
    action(e, "mnuECopy")->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("abc"));
    action(e, "mnuECut")->trigger();
    QVERIFY(e.plainText().isEmpty());
    action(e, "mnuEPaste")->trigger();
    action(e, "mnuEPaste")->trigger();
    QCOMPARE(e.plainText(), QStringLiteral("abcabc"));
    // The clipboard holds the text as UTF-8, Cyrillic and all.
    e.setPlainDocument(QStringLiteral("Жж\n𝄞"));
    action(e, "nmuESelAll")->trigger();
    action(e, "mnuECopy")->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("Жж\n𝄞"));

    // The menu pops up where the area is right-clicked.
    QTimer::singleShot(0, &e, [&] {
        QVERIFY(menu(e, "RichEditMenu")->isVisible());
        menu(e, "RichEditMenu")->close();
    });
    emit control<RichEditArea>(e, QStringLiteral("RichEdit"))
        ->customContextMenuRequested(QPoint(5, 5));
    QTRY_VERIFY(!menu(e, "RichEditMenu")->isVisible());
}

void EditorWindowTest::fieldsAreUpperCaseAndStored() {
    MainHarness h;
    h.store(QStringLiteral("PType"), QStringLiteral("1C"));
    h.store(QStringLiteral("PByte"), QStringLiteral("12"));
    h.start(true);
    TEditorForm& e = *h.editor;
    QCOMPARE(control<QLineEdit>(e, QStringLiteral("EditPType"))->text(), QStringLiteral("1C"));
    QCOMPARE(control<QLineEdit>(e, QStringLiteral("EditPByte"))->text(), QStringLiteral("12"));
    QVERIFY(!logView(*h.main, "Memo1")->isReadOnly());  // the editor is shown: editing state

    control<QLineEdit>(e, QStringLiteral("EditPType"))->clear();
    QTest::keyClicks(control<QLineEdit>(e, QStringLiteral("EditPType")), QStringLiteral("fab"));
    QCOMPARE(control<QLineEdit>(e, QStringLiteral("EditPType"))->text(), QStringLiteral("FA"));
    control<QLineEdit>(e, QStringLiteral("EditFind"))->clear();
    QTest::keyClicks(control<QLineEdit>(e, QStringLiteral("EditFind")),
                     QStringLiteral("ab1") + QString(60, QLatin1Char('z')));
    QCOMPARE(control<QLineEdit>(e, QStringLiteral("EditFind"))->text(),
             QStringLiteral("AB1") + QString(47, QLatin1Char('Z')));
    h.main->close();
    QCOMPARE(h.stored(QStringLiteral("PType")), QStringLiteral("FA"));
    QCOMPARE(h.stored(QStringLiteral("PByte")), QStringLiteral("12"));
}

void EditorWindowTest::platformSaveDialogAddsRtfAndAsksBeforeOverwriting() {
    QTemporaryDir dir;
    zelvar::EditorWidgetDialogs dialogs;
    QStringList filters;
    int questions = 0;
    bool stop = false;
    // Types a name into the dialog when it shows and accepts it; answers
    // "Yes" to an overwrite question.
    std::function<void()> answer = [&] {
        if (stop) return;
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ++questions;
            box->button(QMessageBox::Yes)->click();
            return;
        }
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            QTimer::singleShot(10, answer);
            return;
        }
        filters = dialog->nameFilters();
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
            ->setText(dir.filePath(QStringLiteral("chosen")));
        QTimer::singleShot(10, answer);
        static_cast<QDialog*>(dialog)->accept();
    };
    QTimer::singleShot(10, answer);
    QCOMPARE(dialogs.saveDocumentAs(nullptr, QStringLiteral("20240101120000")),
             dir.filePath(QStringLiteral("chosen.rtf")));
    QCOMPARE(filters, QStringList{QStringLiteral("Текст в формате *.rtf (*.rtf)")});
    QCOMPARE(questions, 0);
    stop = true;
    QTest::qWait(50);

    MainHarness::writeAll(dir.filePath(QStringLiteral("chosen.rtf")), "old");
    stop = false;
    QTimer::singleShot(10, answer);
    QCOMPARE(dialogs.saveDocumentAs(nullptr, QStringLiteral("20240101120000")),
             dir.filePath(QStringLiteral("chosen.rtf")));
    QCOMPARE(questions, 1);
    stop = true;
    QTest::qWait(50);
}

void EditorWindowTest::mainWindowDecodesForTheEditor() {
    Setup s;
    zelvar::EditorHost* host = s.editor.host();
    QVERIFY(host);
    QVERIFY(!host->monitoring());
    host->setMainDecodeEnabled(false);
    QVERIFY(!action(*s.h.main, "mnuDecode")->isEnabled());
    host->setMainDecodeEnabled(true);

    s.open(QStringLiteral(ZELVAR_TEST_DATA "/traffic.hex"));
    host->decodeEditorLines(zelvar::LineList::fromText(s.editor.plainText().toStdString()),
                            QStringLiteral("Editor Data: x\tFile: traffic.hex"));
    const QStringList text = s.h.main->textLogLines();
    QVERIFY(text.size() > 4);
    QCOMPARE(text[0], QStringLiteral("Editor Data: x\tFile: traffic.hex"));
    QVERIFY(control<QPushButton>(s.editor, QStringLiteral("SBDecode"))->isEnabled());
    QVERIFY(s.h.main->model().offlineDecoder().input().empty());
}

void EditorWindowTest::tabsReachTheStopsOfTheLogViews() {
    Setup s;
    TEditorForm& e = s.editor;
    auto* a = control<RichEditArea>(e, QStringLiteral("RichEdit"));
    QVERIFY(QTest::qWaitForWindowExposed(&e));
    constexpr int kMargin = 4;

    // A TAB reaches the next stop of eight characters, as in the log views:
    // a click just before the stop lands after the TAB, one just past the
    // character after it, beyond that character.
    e.setPlainDocument(QStringLiteral("\tb"));
    const qreal space = QFontMetricsF(a->font()).horizontalAdvance(QLatin1Char(' '));
    const auto clickAt = [&](qreal columns) {
        QTest::mouseClick(a->viewport(), Qt::LeftButton, {},
                          QPoint(qRound(kMargin + columns * space), kMargin + 4));
        return a->position();
    };
    QCOMPARE(clickAt(7.75), std::size_t{1});
    QCOMPARE(clickAt(8.75), std::size_t{2});
}

// Selected, red text stays red on the selection's background.
void EditorWindowTest::selectedMarksKeepTheirColour() {
    Setup s;
    TEditorForm& e = s.editor;
    auto* a = control<RichEditArea>(e, QStringLiteral("RichEdit"));
    QVERIFY(QTest::qWaitForWindowExposed(&e));
    e.setPlainDocument(QStringLiteral("WWWWWWWWWWWW plain"));
    markRed(e, 0, 12);
    a->setSelection(0, 18);
    const QImage shot = a->viewport()->grab().toImage();
    int red = 0;
    for (int y = 0; y < qMin(shot.height(), 30); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const QColor pixel = shot.pixelColor(x, y);
            if (pixel.red() > 180 && pixel.green() < 90 && pixel.blue() < 90) ++red;
        }
    }
    QVERIFY(red > 20);
}

void EditorWindowTest::keysWhileOpeningWaitOrAreRefused() {
    Setup s;
    TEditorForm& e = s.editor;
    auto* a = control<RichEditArea>(e, QStringLiteral("RichEdit"));
    QByteArray log;
    for (int i = 0; i < 20000; ++i) log += kHexLog;
    const QString path = s.file(QStringLiteral("day.hex"), log);

    // Ctrl+End while the log loads takes it to its end once it is there;
    // typing is refused, and the status says so.
    QString refusal;
    QTimer::singleShot(0, &e, [&] {
        QTest::keyClick(a, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(a, Qt::Key_Q);
        refusal = e.statusText(2);
    });
    QVERIFY(e.openDocument(path));
    QCOMPARE(e.plainText(),
             QString::fromLatin1(log).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    QCOMPARE(a->position(), a->content().size());
    QVERIFY(!refusal.trimmed().isEmpty());
    QCOMPARE(e.statusText(2), QString());
    QTest::keyClick(a, Qt::Key_Q);
    QVERIFY(e.plainText().endsWith(QStringLiteral("\nq")));
}

void EditorWindowTest::statusPanelsHoldTheirLongestTexts() {
    Setup s;
    const auto fits = [](const QLabel* panel, const QString& text) {
        return panel->contentsRect().width() >= panel->fontMetrics().horizontalAdvance(text);
    };
    const QList<QLabel*> editor =
        control<QWidget>(s.editor, QStringLiteral("EStatusBar"))->findChildren<QLabel*>();
    QVERIFY(fits(editor[0], QStringLiteral(" Selection Length : 4294967295")));
    QVERIFY(fits(editor[0], QStringLiteral(" Cursor Position : 4294967295")));
    QVERIFY(fits(editor[1], QStringLiteral(" 4294967295 / 4294967295")));
    QVERIFY(fits(editor[2], QStringLiteral(" Processing... ")));
    QVERIFY(fits(editor[2], QStringLiteral(" Loading: no editing")));
    const QStringList main = {
        QStringLiteral(" Auto Save Failing: 4294967295"),
        QStringLiteral(" T 4294967295 / H 4294967295"),
        QStringLiteral(" Settings Not Saved"),
        QStringLiteral(" Socket Error"),
        QStringLiteral(" Not selected type of package"),
        QStringLiteral(" Lost 4294967295"),
        QStringLiteral(" MQTT: offline, queued 4294967295, dropped 4294967295")};
    for (int i = 0; i < main.size(); ++i) {
        const QByteArray name = "StatusPanel" + QByteArray::number(i + 1);
        QVERIFY2(fits(label(*s.h.main, name.constData()), main[i]), name.constData());
    }
}

QTEST_MAIN(EditorWindowTest)
#include "EditorWindowTest.moc"
