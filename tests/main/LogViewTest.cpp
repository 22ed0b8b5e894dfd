// The log view on its own: scrolling, selection, the clipboard, editing,
// the context menu and the accessible text.
#include <QAccessible>
#include <QAccessibleTextInterface>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <string>

#include "LineStore.h"
#include "LogView.h"

using zelvar::LogView;
using zelvar::TextPos;

namespace {

std::string numberedLines(int count) {
    std::string joined;
    for (int i = 0; i < count; ++i) {
        if (i) joined.push_back('\n');
        joined += "line " + std::to_string(i);
    }
    return joined;
}

QByteArray saved(const LogView& view) {
    QByteArray all;
    for (const QByteArray& piece : view.snapshot()) all += piece;
    return all;
}

// A view of a usual size, shown.
struct Shown {
    LogView view{QStringLiteral("Memo1")};
    Shown() {
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
    }
};

}  // namespace

class LogViewTest : public QObject {
    Q_OBJECT

private slots:
    void scrollsByLinesAndFollowsTheEnd();
    void wrapsAtBlanksAndSelectsWithMouseAndKeys();
    void editsOnlyWhenNotReadOnly();
    void contextMenuOffersWhatTheViewAllows();
    void accessibleTextReadsTheLog();
};

void LogViewTest::scrollsByLinesAndFollowsTheEnd() {
    Shown shown;
    LogView& view = shown.view;
    QScrollBar* bar = view.verticalScrollBar();
    QCOMPARE(view.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    view.appendLines(numberedLines(1000));
    QCOMPARE(view.lineCount(), std::size_t{1000});
    // The end is shown, its last page full.
    QCOMPARE(bar->value(), bar->maximum());
    const std::size_t page = view.visibleLineCount();
    QVERIFY(page > 5);
    QCOMPARE(view.firstVisibleLine() + page, std::size_t{1000});

    view.setFocus();
    QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(bar->value(), 0);
    QCOMPARE(view.cursorPosition(), TextPos{});
    const std::size_t pageAtTop = view.visibleLineCount();
    QTest::keyClick(&view, Qt::Key_PageDown);
    QCOMPARE(std::size_t(bar->value()), pageAtTop - 1);
    QCOMPARE(view.cursorPosition().line, pageAtTop - 1);
    QTest::keyClick(&view, Qt::Key_PageUp);
    QCOMPARE(bar->value(), 0);
    QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(view.cursorPosition(), (TextPos{999, 8}));

    // The wheel scrolls, and a new line brings the end back.
    QWheelEvent wheel(QPointF(50, 50), view.mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.viewport(), &wheel);
    QVERIFY(bar->value() < bar->maximum());
    view.appendLines("newest");
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(view.lineText(view.lineCount() - 1), QStringLiteral("newest"));

    view.removeLastLine();
    QCOMPARE(view.lineCount(), std::size_t{1000});
    view.clear();
    QVERIFY(view.isEmpty());
    QCOMPARE(bar->maximum(), 0);
}

void LogViewTest::wrapsAtBlanksAndSelectsWithMouseAndKeys() {
    Shown shown;
    LogView& view = shown.view;
    std::string hex = "00";
    for (int i = 1; i < 200; ++i) hex += " AB";
    view.appendLines("first line\n" + hex + "\nlast");
    view.verticalScrollBar()->setValue(0);
    const int lineHeight = view.fontMetrics().lineSpacing();

    // A click at the start of the wrapped line's second row lands after a blank:
    // no hex byte is split between rows.
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(5, 4 + lineHeight * 3 / 2 + lineHeight));
    const TextPos wrapped = view.cursorPosition();
    QCOMPARE(wrapped.line, std::size_t{1});
    QVERIFY(wrapped.column > 0);
    QCOMPARE(wrapped.column % 3, std::size_t{0});
    QCOMPARE(hex[wrapped.column - 1], ' ');

    // Mouse: press on the first line, drag to the second's start.
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, QPoint(5, 4 + lineHeight / 2));
    QTest::mouseMove(view.viewport(), QPoint(5, 4 + lineHeight * 3 / 2));
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, QPoint(5, 4 + lineHeight * 3 / 2));
    QCOMPARE(view.selectedText(), QStringLiteral("first line\n"));
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, QPoint(5, 4 + lineHeight / 2));
    QCOMPARE(view.selectedText(), QStringLiteral("first"));

    // Keys: Shift extends, Ctrl+A takes all, Ctrl+C copies it LF-joined.
    view.setFocus();
    QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(&view, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(&view, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(view.selectedText(), QStringLiteral("fi"));
    // Down goes to the next screen row under the caret, where "fi" ends.
    QTest::keyClick(&view, Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(view.cursorPosition().line, std::size_t{1});
    QVERIFY(view.selectedText().startsWith(QStringLiteral("first line\n0")));
    QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QString::fromStdString("first line\n" + hex + "\nlast"));

    // A disabled view neither scrolls nor selects.
    view.setEnabled(false);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(5, 4 + lineHeight / 2));
    QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(view.selectedText().size(), qsizetype(hex.size() + 16));
}

void LogViewTest::editsOnlyWhenNotReadOnly() {
    Shown shown;
    LogView& view = shown.view;
    view.appendLines("alpha\nbeta");
    view.setFocus();
    QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(&view, "xy");
    QTest::keyClick(&view, Qt::Key_Backspace);
    QCOMPARE(saved(view), QByteArray("alpha\r\nbeta\r\n"));

    view.setReadOnly(false);
    QTest::keyClick(&view, Qt::Key_X);
    QKeyEvent umlaut(QEvent::KeyPress, Qt::Key_Adiaeresis, Qt::NoModifier, QStringLiteral("\u00e4"));
    QApplication::sendEvent(&view, &umlaut);
    QTest::keyClick(&view, Qt::Key_Left);
    QTest::keyClick(&view, Qt::Key_Backspace);  // the x, not half of the ä
    QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(&view, Qt::Key_Delete);
    QTest::keyClick(&view, Qt::Key_End);
    QTest::keyClick(&view, Qt::Key_Return);
    QTest::keyClick(&view, Qt::Key_Tab);
    QCOMPARE(saved(view), QByteArray("lpha\r\n\t\r\nbeta\xc3\xa4\r\n"));

    // Paste splits at any line end; cut takes the selection to the clipboard.
    QApplication::clipboard()->setText(QStringLiteral("p1\r\np2"));
    QTest::keyClick(&view, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(saved(view), QByteArray("lpha\r\n\tp1\r\np2\r\nbeta\xc3\xa4\r\n"));
    QTest::keyClick(&view, Qt::Key_Home, Qt::ShiftModifier);
    QTest::keyClick(&view, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("p2"));
    QCOMPARE(saved(view), QByteArray("lpha\r\n\tp1\r\n\r\nbeta\xc3\xa4\r\n"));

    // Everything deleted leaves an empty log, with nothing to save.
    QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&view, Qt::Key_Delete);
    QVERIFY(view.isEmpty());
    QVERIFY(saved(view).isEmpty());
}

void LogViewTest::contextMenuOffersWhatTheViewAllows() {
    Shown shown;
    LogView& view = shown.view;
    view.appendLines("one\ntwo");
    auto openMenu = [&view] {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), view.mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(view.viewport(), &event);
        QMenu* menu = view.findChild<QMenu*>();
        if (!menu) qFatal("no context menu");
        QStringList enabled;
        for (QAction* action : menu->actions()) {
            if (action->isEnabled() && !action->isSeparator()) enabled << action->text();
        }
        return std::make_pair(menu, enabled);
    };
    auto [menu, enabled] = openMenu();
    QCOMPARE(enabled, QStringList{"Select All"});
    menu->actions().last()->trigger();
    menu->close();
    QTRY_VERIFY(!view.findChild<QMenu*>());
    QCOMPARE(view.selectedText(), QStringLiteral("one\ntwo"));

    view.setReadOnly(false);
    std::tie(menu, enabled) = openMenu();
    QCOMPARE(enabled, (QStringList{"Cu&t", "&Copy", "&Paste", "Delete", "Select All"}));
    menu->close();
}

void LogViewTest::accessibleTextReadsTheLog() {
    Shown shown;
    LogView& view = shown.view;
    view.appendLines("first\nsecond line");
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&view);
    QVERIFY(accessible);
    QAccessibleTextInterface* text = accessible->textInterface();
    QVERIFY(text);
    QCOMPARE(text->characterCount(), 17);
    QCOMPARE(text->text(0, text->characterCount()), QStringLiteral("first\nsecond line"));
    QCOMPARE(text->text(6, 12), QStringLiteral("second"));
    text->setSelection(0, 3, 8);
    QCOMPARE(view.selectedText(), QStringLiteral("st\nse"));
    int start = 0;
    int end = 0;
    text->selection(0, &start, &end);
    QCOMPARE(std::make_pair(start, end), std::make_pair(3, 8));
    QVERIFY(accessible->state().readOnly);
}

QTEST_MAIN(LogViewTest)
#include "LogViewTest.moc"
