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
#include <QTextCursor>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <sys/stat.h>

#include "../main/MainHarness.h"
#include "EditorDialogs.h"
#include "EditorHost.h"
#include "RichEditArea.h"
#include "Rtf.h"

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
    void showError(QWidget*, const QString& text) override { errors << text; }
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
    QTextCursor cursor(editor.RichEdit->document());
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    QTextCharFormat red;
    red.setForeground(QColor(255, 0, 0));
    red.setFontWeight(QFont::Bold);
    cursor.mergeCharFormat(red);
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
    void dropsOpenOnlyTheFirstExistingDocument();
    void commandsArrivingWhileOpeningAreRefused();
    void saveAsRules();
    void clearKeepsTheNameAndSaveWritesAnEmptyDocument();
    void statusFollowsCaretAndSelection();
    void escapeAndContextMenu();
    void fieldsAreUpperCaseAndStored();
    void platformSaveDialogAddsRtfAndAsksBeforeOverwriting();
    void mainWindowDecodesForTheEditor();

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
            editor.mnuOpenRtf->trigger();
        }
    };
};

void EditorWindowTest::controlsAndMenusAreInPlace() {
    Setup s;
    TEditorForm& e = s.editor;
    QCOMPARE(e.windowTitle(), QStringLiteral(" Editor"));
    QCOMPARE(e.minimumSize(), QSize(850, 250));
    QVERIFY(e.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(e.DocName, QStringLiteral("Not Saved"));
    QVERIFY(e.DocPath.isEmpty() && e.WorkLines.empty());

    QCOMPARE(describe(e.mnuFile),
             (QStringList{"Open...|Ctrl+O", "-", "Save|Ctrl+S (off)", "-", "Save As..."}));
    QCOMPARE(describe(e.mnuOptions),
             (QStringList{"Clear Data Fields...", "-", "Remove From the Text >", "-",
                          "Packet Filter >", "-", "Converter >", "-", "Sort Data by Ports...", "-",
                          "Divide the Text of the Spaces..."}));
    QCOMPARE(describe(e.mnuRemove), (QStringList{"All Markers...", "-", "Port / Date / Time...",
                                                 "-", "Strings is Shorter Than 16-bit...", "-",
                                                 "Short Strings...", "-", "Spaces..."}));
    QCOMPARE(describe(e.mnuFilter),
             (QStringList{"Packets \"0B\" and \"05\"...", "-", "By Mask Value / Bit...", "-",
                          "Return to the Old Values..."}));
    QCOMPARE(describe(e.mnuConverter), (QStringList{"Hex_to_Byte...", "-", "Byte_to_Hex..."}));
    QCOMPARE(describe(e.RichEditMenu),
             (QStringList{"Вырезать           Ctrl+X", "-", "Копировать       Ctrl+C", "-",
                          "Вставить            Ctrl+V", "-", "Выделить все    Ctrl+A"}));

    QCOMPARE(e.RichEdit->palette().color(QPalette::Base), QColor(255, 251, 240));
    QCOMPARE(e.RichEdit->palette().color(QPalette::Inactive, QPalette::Highlight),
             e.RichEdit->palette().color(QPalette::Active, QPalette::Highlight));
    QCOMPARE(e.RichEdit->font().pointSize(), 8);
    QCOMPARE(e.RichEdit->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(e.RichEdit->lineWrapMode(), QTextEdit::WidgetWidth);

    QCOMPARE(e.EditFind->width(), 363);
    QCOMPARE(e.EditFind->maxLength(), 50);
    QCOMPARE(e.EditFind->toolTip(), QStringLiteral("Строка поиска"));
    QCOMPARE(e.BtnFindPrev->toolTip(), QStringLiteral("Поиск назад..."));
    QCOMPARE(e.BtnFindNext->toolTip(), QStringLiteral("Поиск вперед..."));
    const QList<QToolButton*> markers = {e.BtnRedMark, e.BtnBoldMark, e.BtnBlueMark};
    QStringList captions;
    for (QToolButton* button : markers) {
        captions << button->text() + QLatin1Char(' ') + button->toolTip() + QLatin1Char(' ') +
                        button->palette().color(QPalette::ButtonText).name();
    }
    QCOMPARE(captions, (QStringList{"R Красный маркер #ff0000", "B Жирный маркер #000000",
                                    "B Синий маркер #0000ff"}));
    // Left to right as listed, "Decode..." at the right end.
    QVERIFY(e.EditFind->x() < e.BtnFindPrev->x() && e.BtnFindPrev->x() < e.BtnFindNext->x());
    QVERIFY(e.BtnFindNext->x() < e.BtnRedMark->x() && e.BtnBlueMark->x() < e.EditPType->x());
    QVERIFY(e.EditPType->x() < e.EditPByte->x() && e.EditPByte->x() < e.SBDecode->x());
    QVERIFY(e.SBDecode->geometry().right() > e.width() - 20);
    QCOMPARE(e.EditPType->text() + e.EditPByte->text(), QStringLiteral("0B4"));

    const QList<QLabel*> panels = e.EStatusBar->findChildren<QLabel*>();
    QCOMPARE(panels.size(), 3);
    QCOMPARE(panels[0]->width() + panels[1]->width() + panels[2]->width(), 150 + 120 + 50);
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
    QCOMPARE(e.DocPath, path);
    QVERIFY(e.mnuSave->isEnabled());

    markRed(e, 11, 13);
    e.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&e));
    QTest::keyClick(e.RichEdit, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(MainHarness::readAll(path).startsWith("{\\rtf1"));
    const QString marked =
        QStringLiteral("1$451C2A0B\t{Rb:00} 11 22 33 0B\n2$451C2A0C\t00 11 22 33 05\n");
    QCOMPARE(shownFile(path), marked);

    // Opened again, through the key, the marks are back.
    s.open(s.file(QStringLiteral("other.txt"), "x"));
    s.dialogs.openAnswers << path;
    QTest::keyClick(e.RichEdit, Qt::Key_O, Qt::ControlModifier);
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
    QTest::keyClicks(e.RichEdit, QStringLiteral("x"));
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
    QCOMPARE(e.DocPath, path);
    QCOMPARE(e.DocName, QStringLiteral("log.hex"));
    QCOMPARE(e.windowTitle(), QStringLiteral(" Editor - log.hex"));

    // Cancelling the dialog changes nothing either.
    e.mnuOpenRtf->trigger();
    QCOMPARE(shown(e.document()), before);
}

void EditorWindowTest::dropsOpenOnlyTheFirstExistingDocument() {
    Setup s;
    TEditorForm& e = s.editor;
    const QString upper = s.file(QStringLiteral("log.Hex"), kHexLog);
    const QString csv = s.file(QStringLiteral("log.csv"), "csv");
    const QString text = s.file(QStringLiteral("second.TXT"), "second");
    QDir(s.h.scratch(QString())).mkdir(QStringLiteral("folder.hex"));

    drop(&e, {csv, text});
    drop(e.RichEdit, {s.h.scratch(QStringLiteral("folder.hex"))});
    drop(e.RichEdit, {s.h.scratch(QStringLiteral("missing.txt"))});
    QVERIFY(e.plainText().isEmpty());
    QCOMPARE(e.windowTitle(), QStringLiteral(" Editor"));
    QVERIFY(!e.mnuSave->isEnabled());

    drop(e.RichEdit, {upper, text});
    QCOMPARE(e.DocName, QStringLiteral("log.Hex"));
    QVERIFY(e.plainText().startsWith(QStringLiteral("1$451C2A0B")));
    QVERIFY(e.mnuSave->isEnabled());
    drop(e.EStatusBar, {text});
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
    QCOMPARE(e.DocName, QStringLiteral("first.hex"));
    QVERIFY(e.plainText().startsWith(QStringLiteral("1$451C2A0B")));
    QCOMPARE(MainHarness::readAll(other), otherBytes);
    QVERIFY(!e.commandRunning());
    QVERIFY(!e.RichEdit->isReadOnly());
}

void EditorWindowTest::saveAsRules() {
    Setup s;
    TEditorForm& e = s.editor;
    e.mnuSaveRtf->trigger();
    QCOMPARE(s.dialogs.saveDialogs, 0);  // nothing to save, no dialog

    e.RichEdit->insertPlainText(QStringLiteral("Пример Ω"));
    e.mnuSaveRtf->trigger();  // cancelled
    QCOMPARE(s.dialogs.saveDialogs, 1);
    QVERIFY(
        QRegularExpression(QStringLiteral("^\\d{14}$")).match(s.dialogs.proposedName).hasMatch());
    QCOMPARE(e.DocName, QStringLiteral("Not Saved"));

    const QString path = s.h.scratch(QStringLiteral("chosen.rtf"));
    s.dialogs.saveAnswers << path;
    e.mnuSaveRtf->trigger();
    QCOMPARE(e.DocName, QStringLiteral("chosen.rtf"));
    QCOMPARE(e.DocPath, path);
    QCOMPARE(e.windowTitle(), QStringLiteral(" Editor - chosen.rtf"));
    QVERIFY(!e.mnuSave->isEnabled());  // only opening enables it
    QCOMPARE(shownFile(path), QStringLiteral("Пример Ω"));

    // A path that cannot be written: the error, the new name, the old caption.
    s.dialogs.saveAnswers << s.h.scratch(QStringLiteral("no/such/folder.rtf"));
    e.mnuSaveRtf->trigger();
    QCOMPARE(s.dialogs.errors.size(), 1);
    QCOMPARE(e.DocName, QStringLiteral("folder.rtf"));
    QCOMPARE(e.windowTitle(), QStringLiteral(" Editor - chosen.rtf"));
}

void EditorWindowTest::clearKeepsTheNameAndSaveWritesAnEmptyDocument() {
    Setup s;
    TEditorForm& e = s.editor;
    const QString path = s.file(QStringLiteral("log.hex"), kHexLog);
    s.open(path);
    e.mnuClearAll->trigger();
    QVERIFY(e.plainText().isEmpty());
    QCOMPARE(e.windowTitle(), QStringLiteral(" Editor - log.hex"));
    QVERIFY(e.mnuSave->isEnabled());
    e.mnuSave->trigger();
    QVERIFY(MainHarness::readAll(path).startsWith("{\\rtf1"));
    QCOMPARE(shownFile(path), QString());
}

void EditorWindowTest::statusFollowsCaretAndSelection() {
    Setup s;
    TEditorForm& e = s.editor;
    s.open(s.file(QStringLiteral("log.hex"), kHexLog));
    QCOMPARE(e.statusText(0), QStringLiteral(" Cursor Position : 0"));
    QTextCursor cursor = e.RichEdit->textCursor();
    cursor.setPosition(3);
    cursor.setPosition(8, QTextCursor::KeepAnchor);
    e.RichEdit->setTextCursor(cursor);
    QCOMPARE(e.statusText(0), QStringLiteral(" Selection Length : 5"));
    // Across a line end, which counts as one character.
    cursor.setPosition(30);
    e.RichEdit->setTextCursor(cursor);
    QCOMPARE(e.statusText(0), QStringLiteral(" Cursor Position : 30"));
    QTest::mouseClick(e.RichEdit->viewport(), Qt::LeftButton, {}, QPoint(1, 1));
    QCOMPARE(e.statusText(0), QStringLiteral(" Cursor Position : 0"));
}

void EditorWindowTest::escapeAndContextMenu() {
    Setup s;
    TEditorForm& e = s.editor;
    QTest::keyClicks(e.RichEdit, QStringLiteral("abc"));
    QVERIFY(!e.StopFlag);
    QTest::keyClick(e.RichEdit, Qt::Key_Escape);
    QVERIFY(e.StopFlag);
    QCOMPARE(e.plainText(), QStringLiteral("abc"));

    e.nmuESelAll->trigger();
    QCOMPARE(e.statusText(0), QStringLiteral(" Selection Length : 3"));
    e.mnuECopy->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("abc"));
    e.mnuECut->trigger();
    QVERIFY(e.plainText().isEmpty());
    e.mnuEPaste->trigger();
    e.mnuEPaste->trigger();
    QCOMPARE(e.plainText(), QStringLiteral("abcabc"));

    // The menu pops up where the area is right-clicked.
    QTimer::singleShot(0, &e, [&] {
        QVERIFY(e.RichEditMenu->isVisible());
        e.RichEditMenu->close();
    });
    emit e.RichEdit->customContextMenuRequested(QPoint(5, 5));
    QTRY_VERIFY(!e.RichEditMenu->isVisible());
}

void EditorWindowTest::fieldsAreUpperCaseAndStored() {
    MainHarness h;
    h.store(QStringLiteral("PType"), QStringLiteral("1C"));
    h.store(QStringLiteral("PByte"), QStringLiteral("12"));
    h.start(true);
    TEditorForm& e = *h.editor;
    QCOMPARE(e.EditPType->text(), QStringLiteral("1C"));
    QCOMPARE(e.EditPByte->text(), QStringLiteral("12"));
    QVERIFY(!logView(*h.main, "Memo1")->isReadOnly());  // the editor is shown: editing state

    e.EditPType->clear();
    QTest::keyClicks(e.EditPType, QStringLiteral("fab"));
    QCOMPARE(e.EditPType->text(), QStringLiteral("FA"));
    e.EditFind->clear();
    QTest::keyClicks(e.EditFind, QStringLiteral("ab1") + QString(60, QLatin1Char('z')));
    QCOMPARE(e.EditFind->text(), QStringLiteral("AB1") + QString(47, QLatin1Char('Z')));
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
    host->decodeEditorLines(s.editor.lines(), QStringLiteral("Editor Data: x\tFile: traffic.hex"));
    const QStringList text = s.h.main->textLogLines();
    QVERIFY(text.size() > 4);
    QCOMPARE(text[0], QStringLiteral("Editor Data: x\tFile: traffic.hex"));
    QVERIFY(s.editor.SBDecode->isEnabled());
    QVERIFY(s.h.main->offlineDecoder().OfflineInputLines.empty());
}

QTEST_MAIN(EditorWindowTest)
#include "EditorWindowTest.moc"
