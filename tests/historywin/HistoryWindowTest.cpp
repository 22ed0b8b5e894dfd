// The signal history window: live reports appear, zoom and pan keep the time
// under the cursor, the CSV holds the points shown, saved logs are drawn beside
// the live lines, and read while the window's commands wait.
#include <sys/resource.h>
#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <csignal>
#include <functional>

#include "BusyRuns.h"
#include "HistoryWindow.h"
#include "Settings.h"

namespace {

using zelvar::SignalHistory;

class ScriptedHistoryDialogs : public zelvar::HistoryDialogs {
public:
    QString answer;
    QStringList opened;
    QStringList errors;
    QString saveFile(QWidget*, const QString&, const QString&) override { return answer; }
    QStringList openFiles(QWidget*, const QString&, const QString&) override { return opened; }
    void showError(QWidget*, const QString& text) override { errors << text; }
};

int PixelsOf(const QImage& image, const QColor& colour) {
    int found = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) found += image.pixelColor(x, y) == colour;
    return found;
}

void Wheel(QWidget& widget, QPoint at, int notches) {
    QWheelEvent event(at, widget.mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&widget, &event);
}

}  // namespace

class HistoryWindowTest : public QObject {
    Q_OBJECT

private slots:
    void liveReportsAppear();
    void zoomAndPanKeepTheTimeUnderTheCursor();
    void csvAndImageHoldWhatIsShown();
    void openedLogsAreDrawnAndAnUnreadableOneChangesNothing();
    void aFailedExportKeepsTheOlderFile();
    void commandsWaitWhileALogIsRead();
};

void HistoryWindowTest::liveReportsAppear() {
    SignalHistory history;
    const zelvar::Settings settings{};
    zelvar::BusyRuns busy;
    zelvar::HistoryWindow window(history, {}, settings, busy);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.screen()->availableGeometry().contains(window.frameGeometry()));
    QCOMPARE(PixelsOf(window.plot().grab().toImage(), zelvar::PortColour(2)), 0);
    for (int i = 0; i < 600; ++i)
        history.add(2, 1'000'000 + i * 100, SignalHistory::Level(-60 - i % 30));
    QTRY_VERIFY(window.plot().window().to() > 1'000'000 + 599 * 100);
    QVERIFY(PixelsOf(window.plot().grab().toImage(), zelvar::PortColour(2)) > 100);
    QCOMPARE(PixelsOf(window.plot().grab().toImage(), zelvar::PortColour(1)), 0);
    // Under the cursor: the time, and the levels port 2 shows there.
    QTest::mouseMove(&window.plot(), window.plot().rect().center());
    const QString cursor = window.findChild<QLabel*>(QStringLiteral("historyCursor"))->text();
    QVERIFY2(cursor.contains(QRegularExpression(QStringLiteral("port 2: -\\d+"))),
             qPrintable(cursor));
    QVERIFY2(!cursor.contains(QStringLiteral("port 1")), qPrintable(cursor));
}

void HistoryWindowTest::zoomAndPanKeepTheTimeUnderTheCursor() {
    SignalHistory history;
    for (int i = 0; i <= 1000; ++i) history.add(1, i * 1000, -70);
    const zelvar::Settings settings{};
    zelvar::BusyRuns busy;
    zelvar::HistoryWindow window(history, {}, settings, busy);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    zelvar::HistoryPlot& plot = window.plot();
    const QPoint at(plot.width() / 3, plot.height() / 2);
    const auto before = plot.timeAt(at.x());
    Wheel(plot, at, 2);  // in
    QVERIFY(!plot.followsRun());
    QVERIFY(plot.window().to() - plot.window().from() < 700'000);
    QVERIFY(qAbs(plot.timeAt(at.x()) - before) <= 1);
    Wheel(plot, at, -1);  // out
    QVERIFY(qAbs(plot.timeAt(at.x()) - before) <= 1);
    plot.setFocus();
    QTest::keyClick(&plot, Qt::Key_Plus);
    const auto span = plot.window().to() - plot.window().from();

    // A drag carries the time grabbed along with the cursor.
    const QPoint to(at.x() + 150, at.y());
    const auto grabbed = plot.timeAt(at.x());
    QTest::mousePress(&plot, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseMove(&plot, to);
    QTest::mouseRelease(&plot, Qt::LeftButton, Qt::NoModifier, to);
    QVERIFY(qAbs(plot.timeAt(to.x()) - grabbed) <= 1);
    QCOMPARE(plot.window().to() - plot.window().from(), span);

    // "Whole Run" shows every point again, and follows the run.
    window.findChild<QPushButton*>(QStringLiteral("historyWholeRun"))->click();
    QVERIFY(plot.followsRun());
    QCOMPARE(plot.window().from(), 0);
    QCOMPARE(plot.window().to(), 1'000'001);
}

void HistoryWindowTest::csvAndImageHoldWhatIsShown() {
    SignalHistory history;
    for (int i = 0; i < 200; ++i) {
        history.add(1 + i % 4, 5'000'000 + i * 500, SignalHistory::Level(-100 + i % 40));
        if (i % 50 == 0) history.addGap(3, 5'000'000 + i * 500 + 1);
    }
    const zelvar::Settings settings{};
    zelvar::BusyRuns busy;
    zelvar::HistoryWindow window(history, {}, settings, busy);
    ScriptedHistoryDialogs dialogs;
    window.setDialogs(&dialogs);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    zelvar::HistoryPlot& plot = window.plot();
    Wheel(plot, QPoint(plot.width() / 2, 50), 3);
    const auto from = plot.window().from();
    const auto to = plot.window().to();
    QVERIFY(from > 5'000'000 && to < 5'000'000 + 200 * 500);

    QTemporaryDir dir;
    dialogs.answer = dir.filePath(QStringLiteral("shown.csv"));
    window.findChild<QPushButton*>(QStringLiteral("historyExportCsv"))->click();
    QFile csv(dialogs.answer);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QStringList rows =
        QString::fromUtf8(csv.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(rows.takeFirst(), QStringLiteral("port,time_utc,dbm_min,dbm_max"));
    QStringList expected;
    for (int port = 1; port <= 4; ++port) {
        for (int i = port - 1; i < 200; i += 4) {
            const auto time = 5'000'000 + i * 500;
            if (time < from || time >= to) continue;
            const int level = -100 + i % 40;
            expected << QStringLiteral("%1,%2,%3,%3")
                            .arg(port)
                            .arg(zelvar::UtcTimeText(time))
                            .arg(level);
        }
    }
    QVERIFY(!expected.isEmpty());
    QCOMPARE(rows, expected);

    dialogs.answer = dir.filePath(QStringLiteral("shown.png"));
    window.findChild<QPushButton*>(QStringLiteral("historySaveImage"))->click();
    QCOMPARE(QImage(dialogs.answer).size(), plot.size());
    dialogs.answer = dir.filePath(QStringLiteral("shown.svg"));
    window.findChild<QPushButton*>(QStringLiteral("historySaveImage"))->click();
    QFile svg(dialogs.answer);
    QVERIFY(svg.open(QIODevice::ReadOnly));
    QVERIFY(svg.readAll().contains("<svg"));
    dialogs.answer = dir.filePath(QStringLiteral("no/such/folder.csv"));
    window.findChild<QPushButton*>(QStringLiteral("historyExportCsv"))->click();
    QCOMPARE(dialogs.errors.size(), 1);
}

void HistoryWindowTest::openedLogsAreDrawnAndAnUnreadableOneChangesNothing() {
    SignalHistory history;
    const zelvar::Settings settings{};
    zelvar::BusyRuns busy;
    zelvar::HistoryWindow window(history, {}, settings, busy);
    ScriptedHistoryDialogs dialogs;
    window.setDialogs(&dialogs);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const auto drawn = [&] {
        const QImage image = window.plot().grab().toImage();
        int pixels = 0;
        for (int port = 1; port <= SignalHistory::kPorts; ++port)
            pixels += PixelsOf(image, zelvar::PortColour(port));
        return pixels;
    };
    QCOMPARE(drawn(), 0);
    const QString data = QStringLiteral(ZELVAR_TEST_DATA);
    dialogs.opened = QStringList{data + QStringLiteral("/reports.hex"),
                                 data + QStringLiteral("/drive-test.txt")};
    window.findChild<QPushButton*>(QStringLiteral("historyOpenLog"))->click();
    QVERIFY2(dialogs.errors.isEmpty(), qPrintable(dialogs.errors.join(QLatin1Char('\n'))));
    QCOMPARE(window.openedLogs(), 2);
    const int both = drawn();
    QVERIFY(both > 50);

    // One unreadable log among those chosen: an error, and both stay drawn.
    QTemporaryDir dir;
    dialogs.opened = QStringList{data + QStringLiteral("/reports.hex"),
                                 dir.filePath(QStringLiteral("missing.hex"))};
    window.findChild<QPushButton*>(QStringLiteral("historyOpenLog"))->click();
    QCOMPARE(dialogs.errors.size(), 1);
    QVERIFY2(dialogs.errors.front().contains(QStringLiteral("missing.hex")),
             qPrintable(dialogs.errors.front()));
    QCOMPARE(window.openedLogs(), 2);
    QCOMPARE(drawn(), both);
}

// A disk that fills half-way through the CSV: the error is shown and the
// file chosen keeps its older contents rather than half a CSV.
void HistoryWindowTest::aFailedExportKeepsTheOlderFile() {
    SignalHistory history;
    for (int i = 0; i < 400; ++i) history.add(1, 1'000'000 + i * 100, -80);
    const zelvar::Settings settings{};
    zelvar::BusyRuns busy;
    zelvar::HistoryWindow window(history, {}, settings, busy);
    ScriptedHistoryDialogs dialogs;
    window.setDialogs(&dialogs);
    QTemporaryDir dir;
    dialogs.answer = dir.filePath(QStringLiteral("older.csv"));
    QFile older(dialogs.answer);
    QVERIFY(older.open(QIODevice::WriteOnly) && older.write("older\n") == 6);
    older.close();

    rlimit before{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit small = before;
    small.rlim_cur = 1000;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    window.exportCsv();
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(dialogs.errors.size(), 1);
    QVERIFY(older.open(QIODevice::ReadOnly));
    QCOMPARE(older.readAll(), QByteArray("older\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("older.csv")});
}

// The log is a pipe that this test fills only once it has tried the
// commands: while the window reads, its events run, its own commands are
// refused and its close waits for the end of the reading; the program's
// close stops the reading, which then changes nothing, and runs once after.
void HistoryWindowTest::commandsWaitWhileALogIsRead() {
    SignalHistory history;
    const zelvar::Settings settings{};
    zelvar::BusyRuns busy;
    zelvar::HistoryWindow window(history, {}, settings, busy);
    ScriptedHistoryDialogs dialogs;
    window.setDialogs(&dialogs);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTemporaryDir dir;
    dialogs.answer = dir.filePath(QStringLiteral("meanwhile.csv"));
    const auto readPipe = [&](const QString& name, const char* line,
                              const std::function<void()>& meanwhile) {
        const QString pipe = dir.filePath(name);
        QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        dialogs.opened = QStringList{pipe};
        bool tried = false;
        QTimer::singleShot(0, &window, [&] {
            tried = true;
            QFile writer(pipe);
            QVERIFY(writer.open(QIODevice::WriteOnly));  // once the window reads it
            meanwhile();
            writer.write(line);
        });
        window.openLogs();
        QVERIFY(tried);
    };

    readPipe(QStringLiteral("first.txt"), "1\t02.01.2026 10:00:00\t-70\r\n", [&] {
        dialogs.opened.clear();  // a second "Open Log..." would change nothing
        window.openLogs();
        window.exportCsv();
        window.saveImage();
        window.close();
        QVERIFY(window.isVisible());
    });
    QVERIFY2(dialogs.errors.isEmpty(), qPrintable(dialogs.errors.join(QLatin1Char('\n'))));
    QCOMPARE(window.openedLogs(), 1);
    QVERIFY(!QFile::exists(dialogs.answer));
    QTRY_VERIFY(!window.isVisible());
    const auto shownFrom = window.plot().window().from();

    int closes = 0;
    readPipe(QStringLiteral("second.txt"), "1\t03.01.2026 10:00:00\t-70\r\n", [&] {
        QCOMPARE(busy.ask(zelvar::Command::Close, [&] { ++closes; }),
                 zelvar::BusyRuns::Answer::Deferred);
    });
    QCOMPARE(window.plot().window().from(), shownFrom);
    QTRY_COMPARE(closes, 1);
}

QTEST_MAIN(HistoryWindowTest)
#include "HistoryWindowTest.moc"
