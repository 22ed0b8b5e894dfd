// The two text areas, the log view and the editor's, side by side: every key
// they share moves, selects and edits alike in both, and a screen reader
// reads the caret's line and the selection in either.
#include <QAccessible>
#include <QAccessibleTextInterface>
#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <memory>
#include <string>

#include "EditorText.h"
#include "LineStore.h"
#include "LogView.h"
#include "RichEditArea.h"

namespace {

// One area seen through offsets into its LF-joined text.
class Probe {
public:
    virtual ~Probe() = default;
    virtual QAbstractScrollArea& widget() = 0;
    virtual void setText(const std::string& text) = 0;
    virtual void select(int anchor, int caret) = 0;
    virtual int anchor() = 0;
    virtual int caret() = 0;
    virtual QString text() = 0;
    virtual void setReadOnly(bool readOnly) = 0;
};

class LogProbe : public Probe {
public:
    QAbstractScrollArea& widget() override { return view_; }
    void setText(const std::string& text) override {
        view_.clear();
        view_.appendLines(text);
    }
    void select(int anchor, int caret) override {
        view_.setCursorPosition(place(anchor));
        view_.setCursorPosition(place(caret), true);
    }
    int caret() override { return offset(view_.cursorPosition()); }
    int anchor() override {
        const auto [from, to] = view_.selection();
        return offset(from == view_.cursorPosition() ? to : from);
    }
    QString text() override { return view_.toPlainText(); }
    void setReadOnly(bool readOnly) override { view_.setReadOnly(readOnly); }

private:
    zelvar::TextPos place(int at) const {
        return view_.lines().posAt(static_cast<std::size_t>(at));
    }
    int offset(zelvar::TextPos pos) const { return static_cast<int>(view_.lines().offsetOf(pos)); }
    zelvar::LogView view_{QStringLiteral("Memo1")};
};

class EditorProbe : public Probe {
public:
    QAbstractScrollArea& widget() override { return area_; }
    void setText(const std::string& text) override {
        zelvar::EditorText document;
        document.assignUtf8(std::make_shared<std::string>(text));
        area_.setContent(std::move(document));
    }
    void select(int anchor, int caret) override {
        area_.setSelection(static_cast<std::size_t>(anchor), static_cast<std::size_t>(caret));
    }
    int caret() override { return static_cast<int>(area_.position()); }
    int anchor() override {
        return static_cast<int>(area_.position() == area_.selectionStart()
                                    ? area_.selectionEnd()
                                    : area_.selectionStart());
    }
    QString text() override { return QString::fromStdString(std::string(area_.content().utf8())); }
    void setReadOnly(bool readOnly) override { area_.setReadOnly(readOnly); }

private:
    RichEditArea area_;
};

std::unique_ptr<Probe> makeProbe(const QString& area) {
    std::unique_ptr<Probe> probe;
    if (area == QLatin1String("log")) {
        probe = std::make_unique<LogProbe>();
    } else {
        probe = std::make_unique<EditorProbe>();
    }
    probe->widget().resize(300, 200);
    probe->widget().show();
    return probe;
}

// A line that wraps into several rows, then two short ones.
std::string longLine() {
    std::string line = "word";
    for (int i = 1; i < 80; ++i) line += " word";
    return line;
}
const std::string kText = longLine() + "\nalpha beta\ngamma";
constexpr int kAlpha = 400;  // "alpha beta" starts here
constexpr int kBetaEnd = 410;
constexpr int kGamma = 411;
constexpr int kEnd = 416;
// The caret somewhere inside the long line, neither at its start nor its end:
// on another of its rows.
constexpr int kInsideLongLine = -1;

QString textWith(int at, int length, const std::string& with) {
    std::string text = kText;
    text.replace(static_cast<std::size_t>(at), static_cast<std::size_t>(length), with);
    return QString::fromStdString(text);
}

}  // namespace

class TextAreaTest : public QObject {
    Q_OBJECT

private slots:
    void sharedKeys_data();
    void sharedKeys();
    void screenReaderReadsLineAndSelection_data();
    void screenReaderReadsLineAndSelection();
};

void TextAreaTest::sharedKeys_data() {
    QTest::addColumn<QString>("area");
    QTest::addColumn<bool>("editable");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("caret");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("wantAnchor");
    QTest::addColumn<int>("wantCaret");
    // Null: the text stays as it was.
    QTest::addColumn<QString>("wantText");
    // Null: the clipboard is not looked at.
    QTest::addColumn<QString>("wantClipboard");

    const int shift = Qt::ShiftModifier;
    const int control = Qt::ControlModifier;
    struct Case {
        const char* name;
        bool editable;
        int anchor, caret, key, modifiers, wantAnchor, wantCaret;
        QString wantText = {};
        QString wantClipboard = {};
    };
    const Case cases[] = {
        {"right collapses a selection to its end", false, 405, kAlpha, Qt::Key_Right, 0, 405, 405},
        {"left collapses a selection to its start", false, kAlpha, 405, Qt::Key_Left, 0, kAlpha,
         kAlpha},
        {"shift+right extends", false, kAlpha, kAlpha, Qt::Key_Right, shift, kAlpha, 401},
        {"right over a line end", false, kBetaEnd, kBetaEnd, Qt::Key_Right, 0, kGamma, kGamma},
        {"left over a line start", false, kGamma, kGamma, Qt::Key_Left, 0, kBetaEnd, kBetaEnd},
        {"ctrl+right to the next word", false, kAlpha, kAlpha, Qt::Key_Right, control, 406, 406},
        {"ctrl+left to the word's start", false, kBetaEnd, kBetaEnd, Qt::Key_Left, control, 406,
         406},
        {"ctrl+shift+right selects a word", false, kAlpha, kAlpha, Qt::Key_Right, control | shift,
         kAlpha, 406},
        {"ctrl+right over a line end", false, 406, 406, Qt::Key_Right, control, kGamma, kGamma},
        {"home", false, 403, 403, Qt::Key_Home, 0, kAlpha, kAlpha},
        {"end", false, 403, 403, Qt::Key_End, 0, kBetaEnd, kBetaEnd},
        {"shift+end", false, 403, 403, Qt::Key_End, shift, 403, kBetaEnd},
        {"ctrl+home", false, 403, 403, Qt::Key_Home, control, 0, 0},
        {"ctrl+end", false, 403, 403, Qt::Key_End, control, kEnd, kEnd},
        {"down by screen row", false, 0, 0, Qt::Key_Down, 0, kInsideLongLine, kInsideLongLine},
        {"up by screen row", false, kAlpha, kAlpha, Qt::Key_Up, 0, kInsideLongLine,
         kInsideLongLine},
        {"down to the next line", false, kAlpha, kAlpha, Qt::Key_Down, 0, kGamma, kGamma},
        {"shift+up", false, kGamma, kGamma, Qt::Key_Up, shift, kGamma, kAlpha},
        {"page down", false, 0, 0, Qt::Key_PageDown, 0, kGamma, kGamma},
        {"page up keeps the column", false, kEnd, kEnd, Qt::Key_PageUp, 0, 5, 5},
        {"ctrl+a", false, 403, 403, Qt::Key_A, control, 0, kEnd},
        {"ctrl+c", false, kAlpha, 405, Qt::Key_C, control, kAlpha, 405, QString(),
         QStringLiteral("alpha")},
        {"typing refused while read-only", false, 403, 403, Qt::Key_X, 0, 403, 403},
        {"backspace refused while read-only", false, 403, 403, Qt::Key_Backspace, 0, 403, 403},
        {"typing", true, kAlpha, kAlpha, Qt::Key_X, 0, 401, 401, textWith(kAlpha, 0, "x")},
        {"typing replaces the selection", true, kAlpha, 405, Qt::Key_X, 0, 401, 401,
         textWith(kAlpha, 5, "x")},
        {"tab is typed", true, kAlpha, kAlpha, Qt::Key_Tab, 0, 401, 401, textWith(kAlpha, 0, "\t")},
        {"return", true, 405, 405, Qt::Key_Return, 0, 406, 406, textWith(405, 0, "\n")},
        {"backspace", true, 405, 405, Qt::Key_Backspace, 0, 404, 404, textWith(404, 1, "")},
        {"backspace takes the selection", true, kAlpha, 406, Qt::Key_Backspace, 0, kAlpha, kAlpha,
         textWith(kAlpha, 6, "")},
        {"backspace joins lines", true, kGamma, kGamma, Qt::Key_Backspace, 0, kBetaEnd, kBetaEnd,
         textWith(kBetaEnd, 1, "")},
        {"delete joins lines", true, kBetaEnd, kBetaEnd, Qt::Key_Delete, 0, kBetaEnd, kBetaEnd,
         textWith(kBetaEnd, 1, "")},
        {"ctrl+backspace deletes a word", true, kBetaEnd, kBetaEnd, Qt::Key_Backspace, control, 406,
         406, textWith(406, 4, "")},
        {"ctrl+delete deletes a word", true, kAlpha, kAlpha, Qt::Key_Delete, control, kAlpha,
         kAlpha, textWith(kAlpha, 6, "")},
        {"ctrl+x", true, kAlpha, 405, Qt::Key_X, control, kAlpha, kAlpha, textWith(kAlpha, 5, ""),
         QStringLiteral("alpha")},
        {"ctrl+v pastes with its line ends", true, kAlpha, kAlpha, Qt::Key_V, control, 403, 403,
         textWith(kAlpha, 0, "p\nq")},
    };
    for (const char* area : {"log", "editor"}) {
        for (const Case& c : cases) {
            QTest::addRow("%s: %s", area, c.name)
                << QString::fromLatin1(area) << c.editable << c.anchor << c.caret << c.key
                << c.modifiers << c.wantAnchor << c.wantCaret << c.wantText << c.wantClipboard;
        }
    }
}

void TextAreaTest::sharedKeys() {
    QFETCH(QString, area);
    QFETCH(bool, editable);
    QFETCH(int, anchor);
    QFETCH(int, caret);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, wantAnchor);
    QFETCH(int, wantCaret);
    QFETCH(QString, wantText);
    QFETCH(QString, wantClipboard);

    const std::unique_ptr<Probe> probe = makeProbe(area);
    probe->setText(kText);
    probe->setReadOnly(!editable);
    probe->widget().setFocus();
    probe->select(anchor, caret);
    QApplication::clipboard()->setText(QStringLiteral("p\r\nq"));
    QTest::keyClick(&probe->widget(), static_cast<Qt::Key>(key), Qt::KeyboardModifiers(modifiers));

    if (wantCaret == kInsideLongLine) {
        QVERIFY2(probe->caret() > 0 && probe->caret() < kAlpha - 1,
                 qPrintable(QString::number(probe->caret())));
        QCOMPARE(probe->anchor(), probe->caret());
    } else {
        QCOMPARE(probe->anchor(), wantAnchor);
        QCOMPARE(probe->caret(), wantCaret);
    }
    QCOMPARE(probe->text(), wantText.isNull() ? QString::fromStdString(kText) : wantText);
    if (!wantClipboard.isNull()) QCOMPARE(QApplication::clipboard()->text(), wantClipboard);
}

void TextAreaTest::screenReaderReadsLineAndSelection_data() {
    QTest::addColumn<QString>("area");
    QTest::newRow("log") << QStringLiteral("log");
    QTest::newRow("editor") << QStringLiteral("editor");
}

void TextAreaTest::screenReaderReadsLineAndSelection() {
    QFETCH(QString, area);
    const std::unique_ptr<Probe> probe = makeProbe(area);
    probe->setText("first\nsecond line\nthird");
    probe->setReadOnly(true);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&probe->widget());
    QVERIFY(accessible);
    QVERIFY(accessible->state().readOnly);
    QVERIFY(accessible->state().multiLine);
    QAccessibleTextInterface* text = accessible->textInterface();
    QVERIFY(text);
    QCOMPARE(text->characterCount(), 23);
    QCOMPARE(text->text(6, 12), QStringLiteral("second"));

    // The line at the caret, and the lines on either side of it.
    probe->select(9, 9);
    QCOMPARE(text->cursorPosition(), 9);
    int start = -1;
    int end = -1;
    QCOMPARE(text->textAtOffset(text->cursorPosition(), QAccessible::LineBoundary, &start, &end),
             QStringLiteral("second line\n"));
    QCOMPARE(std::make_pair(start, end), std::make_pair(6, 18));
    QCOMPARE(text->textBeforeOffset(9, QAccessible::LineBoundary, &start, &end),
             QStringLiteral("first\n"));
    QCOMPARE(text->textAfterOffset(9, QAccessible::LineBoundary, &start, &end),
             QStringLiteral("third"));
    QCOMPARE(text->textAtOffset(9, QAccessible::WordBoundary, &start, &end),
             QStringLiteral("second"));
    // Where a character is drawn, and the character at a point.
    const QRect drawn = text->characterRect(13);
    QVERIFY(!drawn.isEmpty());
    QCOMPARE(text->offsetAtPoint(drawn.center() - QPoint(drawn.width() / 4, 0)), 13);

    // The selection, read and set.
    probe->select(3, 8);
    QCOMPARE(text->selectionCount(), 1);
    text->selection(0, &start, &end);
    QCOMPARE(std::make_pair(start, end), std::make_pair(3, 8));
    QCOMPARE(text->text(start, end), QStringLiteral("st\nse"));
    text->setSelection(0, 12, 17);
    QCOMPARE(probe->anchor(), 12);
    QCOMPARE(probe->caret(), 17);
    QCOMPARE(text->text(12, 17), QStringLiteral(" line"));
    probe->setReadOnly(false);
    QVERIFY(accessible->state().editable);
}

QTEST_MAIN(TextAreaTest)
#include "TextAreaTest.moc"
