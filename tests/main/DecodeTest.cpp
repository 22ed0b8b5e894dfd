// File > Decode through the main window: a sample log, Esc during a long
// decoding, and what the window refuses meanwhile. (Files that give nothing
// to decode and the events a run lets through are tested on the monitor model.)
#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "DateTime.h"
#include "LogFormat.h"
#include "MainHarness.h"

namespace {

// Runs an action once the decoding is under way.
void whileDecoding(TMainForm& w, std::function<void()> action) {
    auto* timer = new QTimer(&w);
    QObject::connect(timer, &QTimer::timeout, &w, [&w, timer, action] {
        if (w.statusText(3) != QStringLiteral(" Decode...")) return;
        timer->stop();
        timer->deleteLater();
        action();
    });
    timer->start(5);
}

QString sample(const char* name) {
    return QDir(qEnvironmentVariable("ZELVAR_TEST_DATA")).filePath(QLatin1String(name));
}

QStringList fileLines(const QString& path) {
    QString text = QString::fromLatin1(MainHarness::readAll(path));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
    return text.split(QLatin1Char('\n'));
}

// Remembers what status panel 2 showed when panel 3 was drawn with " Display...".
class PaintWatch : public QObject {
public:
    explicit PaintWatch(TMainForm& w)
        : counts_(w.findChild<QLabel*>(QStringLiteral("StatusPanel2"))),
          progress_(w.findChild<QLabel*>(QStringLiteral("StatusPanel3"))) {
        counts_->installEventFilter(this);
        progress_->installEventFilter(this);
    }
    QString drawnCounts;
    QString countsAtDisplay;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            if (watched == counts_) drawnCounts = counts_->text();
            if (watched == progress_ && progress_->text() == QStringLiteral(" Display..."))
                countsAtDisplay = drawnCounts;
        }
        return false;
    }

private:
    QLabel* counts_;
    QLabel* progress_;
};

}  // namespace

class DecodeTest : public QObject {
    Q_OBJECT

private slots:
    void decodesASampleLogIntoBothViews();
    void countsAreDrawnBesideDisplay();
    void escStopsALongDecodingAndKeepsItsLines();
    void closeDuringDecodingWaitsForItToStop();
};

void DecodeTest::decodesASampleLogIntoBothViews() {
    MainHarness h;
    h.start(true);  // with the editor open, whose Decode button is held meanwhile
    TMainForm& w = *h.main;
    action(w, "mnuSettings")->trigger();
    QVERIFY(h.options->isVisible());
    w.model().appendTextLine("earlier");

    const QString path = sample("traffic.hex");
    QVERIFY2(QFile::exists(path), qPrintable(path));
    h.dialogs.openAnswers << path;
    // The window lets events run once before the decoding starts: the
    // button is greyed by then.
    bool heldMeanwhile = false;
    QTimer::singleShot(0, &w, [&] {
        heldMeanwhile = !control<QPushButton>(*h.editor, QStringLiteral("SBDecode"))->isEnabled();
    });
    action(w, "mnuDecode")->trigger();

    QVERIFY(!h.options->isVisible());
    QVERIFY(control<QPushButton>(*h.editor, QStringLiteral("SBDecode"))->isEnabled());
    QVERIFY(w.model().offlineDecoder().idle());
    QVERIFY(w.model().offlineDecoder().input().empty());
    QVERIFY(w.logsSaved());

    const QStringList text = w.textLogLines();
    QVERIFY(text.size() > 4);
    QCOMPARE(text[0], QStringLiteral("earlier"));
    QCOMPARE(text[1], QStringLiteral("File: traffic.hex"));
    QCOMPARE(text[2], QString::fromLatin1(zelvar::TextHeader.data()));
    QCOMPARE(text.last(), QStringLiteral("End"));
    // Every package comes back as the line it was saved as.
    const QStringList input = fileLines(path);
    const QStringList hex = w.hexLogLines();
    for (const QString& line : hex) {
        if (line.contains(QLatin1Char('$'))) QVERIFY2(input.contains(line), qPrintable(line));
    }
    const std::int64_t hexCount = w.model().decoder().hexCount();
    QCOMPARE(hexCount, hex.size());
    QVERIFY(hexCount > 20);
    QCOMPARE(w.model().decoder().textCount(), text.size() - 4);
    QCOMPARE(w.statusText(2), QStringLiteral(" T %1 / H %2").arg(text.size() - 4).arg(hexCount));
    QCOMPARE(w.statusText(3), QString());
    QVERIFY(heldMeanwhile);

    // The signal reports of a decoded log stay out of the live signal
    // history; one that comes in live goes there.
    zelvar::SignalHistory::Time first = 0, last = 0;
    QVERIFY(!w.model().signalHistory().timeRange(first, last));
    const std::uint8_t report[] = {0, 0, 0, 1, 0x0F, 0, 0, 0, 0, 0, 0, 0x5A, 0, 0xA5, 0x4D, 0xCA};
    w.model().sessionParts().decoder.DecodePackage(report, "1145A3B29", zelvar::DecodeMode::Live,
                                                   2);
    QVERIFY(w.model().signalHistory().timeRange(first, last));
    std::int64_t stampMs = 0;
    QVERIFY(zelvar::StampLocalMs("1145A3B29", stampMs));
    QCOMPARE(first, stampMs);
}

// The views take a large decoding's lines with no events in between: the
// counts must be on screen by then, not the previous ones.
void DecodeTest::countsAreDrawnBesideDisplay() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    PaintWatch watch(w);
    h.dialogs.openAnswers << sample("traffic.hex");
    action(w, "mnuDecode")->trigger();
    QVERIFY(w.statusText(2).startsWith(QStringLiteral(" T ")));
    QCOMPARE(watch.countsAtDisplay, w.statusText(2));
}

void DecodeTest::escStopsALongDecodingAndKeepsItsLines() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    const int total = 400000;
    MainHarness::writeAll(h.scratch("long.hex"), zelvar::test::LongHexLog(total));
    h.dialogs.openAnswers << h.scratch("long.hex");

    int openedMeanwhile = -1;
    bool settingsShown = true;
    whileDecoding(w, [&] {
        // A second decoding and the settings dialog wait for this one.
        h.dialogs.openAnswers << h.scratch("long.hex");
        action(w, "mnuDecode")->trigger();
        openedMeanwhile = h.dialogs.openDialogs;
        action(w, "mnuSettings")->trigger();
        settingsShown = h.options->isVisible();
        // Clear would reset the counts the decoding is counting into.
        action(w, "mnuClear")->trigger();
        QTest::keyClick(logView(w, "Memo2"), Qt::Key_Escape);
    });
    action(w, "mnuDecode")->trigger();

    QCOMPARE(openedMeanwhile, 1);
    QVERIFY(!settingsShown);
    const QStringList text = w.textLogLines();
    QCOMPARE(text.last(), QStringLiteral("Esc"));
    QCOMPARE(text[0], QStringLiteral("File: long.hex"));
    const qsizetype decoded = w.hexLogLines().size();
    QVERIFY2(decoded > 0 && decoded < total, qPrintable(QString::number(decoded)));
    // Every package but the first of the call gave its line.
    QCOMPARE(text.size(), 2 + (decoded - 1) + 1);
    QCOMPARE(w.statusText(2), QStringLiteral(" T %1 / H %2").arg(decoded - 1).arg(decoded));
    QVERIFY(w.model().offlineDecoder().idle());
}

void DecodeTest::closeDuringDecodingWaitsForItToStop() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    MainHarness::writeAll(h.scratch("long.hex"), zelvar::test::LongHexLog(400000));
    h.dialogs.openAnswers << h.scratch("long.hex");
    bool refused = false;
    whileDecoding(w, [&] { refused = !w.close(); });
    action(w, "mnuDecode")->trigger();
    QVERIFY(refused);
    QCOMPARE(w.textLogLines().last(), QStringLiteral("Esc"));
    QTRY_VERIFY(!w.isVisible());
    QCOMPARE(h.stored("Editor"), QStringLiteral("0"));
}

QTEST_MAIN(DecodeTest)
#include "DecodeTest.moc"
