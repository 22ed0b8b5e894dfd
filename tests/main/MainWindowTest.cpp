// The main window's menus, shortcuts, start-up, window rules, header rules
// and settings round trip.
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QTimer>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QScreen>
#include <QWindow>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <sys/stat.h>

#include <cstdio>

#include "FifoRescue.h"
#include "LogFormat.h"
#include "MainHarness.h"

namespace {

// The window's bounds are kept within the screens: a desktop-sized offscreen
// screen, set before the application starts, also when the test is run by
// hand rather than by ctest.
[[maybe_unused]] const bool desktopScreen =
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" ZELVAR_OFFSCREEN_SCREEN);

// A caption as shown: its "&" only marks the Alt key.
QString shown(QString caption) {
    return caption.remove(QLatin1Char('&'));
}

// One line per menu entry: caption, shortcut, [x] or [ ] for check items,
// "(off)" when disabled, ">" for a submenu, "-" for a separator.
QStringList describe(const QMenu* menu) {
    QStringList lines;
    for (const QAction* action : menu->actions()) {
        if (action->isSeparator()) {
            lines << QStringLiteral("-");
            continue;
        }
        QString line = shown(action->text());
        if (action->menu()) line += QStringLiteral(" >");
        if (!action->shortcut().isEmpty()) line += QLatin1Char('|') + action->shortcut().toString();
        if (action->isCheckable())
            line += action->isChecked() ? QStringLiteral(" [x]") : QStringLiteral(" [ ]");
        if (!action->isEnabled()) line += QStringLiteral(" (off)");
        lines << line;
    }
    return lines;
}

QString qs(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void menusFollowTheTable();
    void menusOpenWithTheirAltKeys();
    void fileDialogsShowTheirFilterNames();
    void shortcutsWorkFromTheLogViews();
    void firstStartShowsTheDefaults();
    void editorStoredOpenIsOpenedAtStart();
    void settingsAndEditorNeverShowTogether();
    void editorStaysClosedWhileMonitoringIsChecked();
    void autoSaveItemsRefreshTheStatus();
    void displayModeKeepsOneHeaderWhileMonitoring();
    void displayModeOutsideMonitoringOnlyChangesTheSummary();
    void typeFlagsOfTheDialogRefreshTheSummary();
    void escInEitherViewStopsDecoding();
    void serialPortBoxSelectsTheRememberedPort();
    void longPortNameLeavesTheStripWhole();
    void settingsRoundTrip();
    void maximisedWindowKeepsItsStoredBounds();
    void boundsOffTheScreensComeBackOntoThem();
    void boundsBelowTheLeastSizeStayOnTheScreen();
    void closeWithEditorOpenStoresEditorAndWritesNoLog();
    void unwritableSettingsAreReportedOnce();
};

void MainWindowTest::menusFollowTheTable() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    QCOMPARE(w.windowTitle(), QStringLiteral(" Zelvar 1.0.9.4   GPS BU 353"));
    QCOMPARE(w.minimumSize(), QSize(875, 300));

    QCOMPARE(describe(menu(w, "mnuFile")),
             (QStringList{"Decode...|Ctrl+D", "-", "Auto Save >", "-", "Save Data As...",
                          "Export Coverage..."}));
    QCOMPARE(describe(menu(w, "mnuAutoSaveMenu")),
             (QStringList{"Auto Save On [x]", "-", "New File Every 65 535 Packages [x]"}));
    QCOMPARE(describe(menu(w, "mnuAnalysis")),
             (QStringList{"Hex Log|Ctrl+H [x]", "-", "Display Only RSSI|Ctrl+R [ ]", "-",
                          "Start Monitoring|Ctrl+M [ ]", "-", "Signal History..."}));
    // A window of its own beside the main window, not a modal box.
    action(w, "mnuSignalHistory")->trigger();
    auto* history = w.findChild<QWidget*>(QStringLiteral("SignalHistory"));
    QVERIFY(history && history->isVisible() && !history->isModal());
    QStringList options{"Clear Data Fields...|Ctrl+Alt+X", "-", "Settings...|F4", "-",
                        "Editor...|Ctrl+E", "-", "Copy GPS Coordinates to Clipboard|Ctrl+G (off)",
                        "-", "Copy Text Log to Clipboard|Ctrl+T"};
#ifdef ZELVAR_PUBLISH
    options.insert(3, QStringLiteral("Publish..."));
#endif
    QCOMPARE(describe(menu(w, "mnuOptions")), options);
    const QStringList titles = {shown(menu(w, "mnuFile")->title()),
                                shown(menu(w, "mnuAnalysis")->title()),
                                shown(menu(w, "mnuOptions")->title())};
    QCOMPARE(titles, (QStringList{"File", "Analysis", "Options"}));
}

void MainWindowTest::menusOpenWithTheirAltKeys() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    const QList<std::pair<QMenu*, Qt::Key>> menus = {{menu(w, "mnuFile"), Qt::Key_F},
                                                     {menu(w, "mnuAnalysis"), Qt::Key_A},
                                                     {menu(w, "mnuOptions"), Qt::Key_O}};
    for (const auto& [menu, key] : menus) {
        QTest::keyClick(&w, key, Qt::AltModifier);
        QTRY_VERIFY2(menu->isVisible(), qPrintable(menu->title()));
        menu->hide();
    }
    // Within a menu every item has an Alt key of its own.
    for (const QMenu* menu : {menu(w, "mnuFile"), menu(w, "mnuAutoSaveMenu"),
                              menu(w, "mnuAnalysis"), menu(w, "mnuOptions")}) {
        QSet<QKeySequence> keys;
        for (const QAction* action : menu->actions()) {
            if (action->isSeparator()) continue;
            const QKeySequence key = QKeySequence::mnemonic(action->text());
            QVERIFY2(!key.isEmpty() && !keys.contains(key), qPrintable(action->text()));
            keys << key;
        }
    }
}

void MainWindowTest::fileDialogsShowTheirFilterNames() {
    // Reads the filter box of the dialog that opens next, then cancels it.
    QStringList shownFilters;
    const auto readAndCancel = [&shownFilters] {
        auto* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, [poll, &shownFilters] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            const auto* box = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            for (int i = 0; box && i < box->count(); ++i) shownFilters << box->itemText(i);
            dialog->reject();
            poll->deleteLater();
        });
        poll->start(10);
    };
    zelvar::WidgetDialogs dialogs;
    readAndCancel();
    QCOMPARE(dialogs.openLogFile(nullptr), QString());
    QCOMPARE(shownFilters, (QStringList{"Hex Data *.hex", "Text Files *.txt"}));
    shownFilters.clear();
    readAndCancel();
    QCOMPARE(dialogs.saveLogsAs(nullptr, QStringLiteral("20240101120000")), QString());
    QCOMPARE(shownFilters, QStringList{QStringLiteral("Файлы *.txt и *.hex")});
}

void MainWindowTest::shortcutsWorkFromTheLogViews() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));

    // Read-only views, then editable ones (as while the editor is shown):
    // the menu keys must reach the menu in both.
    for (bool editing : {false, true}) {
        w.setLogViewsEditing(editing);
        for (zelvar::LogView* view : {logView(w, "Memo1"), logView(w, "Memo2")}) {
            view->setFocus();
            QTest::keyClick(view, Qt::Key_R, Qt::ControlModifier);
            QVERIFY(action(w, "mnuOnlyRSSI")->isChecked());
            QCOMPARE(w.statusText(5), QStringLiteral(" Display Only RSSI"));
            QTest::keyClick(view, Qt::Key_R, Qt::ControlModifier);
            QVERIFY(!action(w, "mnuOnlyRSSI")->isChecked());

            QTest::keyClick(view, Qt::Key_H, Qt::ControlModifier);
            QCOMPARE(w.statusText(1), QStringLiteral(" Auto Save 65 535 Text"));
            QVERIFY(!w.model().mirrors().HexLog);
            QTest::keyClick(view, Qt::Key_H, Qt::ControlModifier);
            QVERIFY(w.model().mirrors().HexLog);

            const int opened = h.dialogs.openDialogs;
            QTest::keyClick(view, Qt::Key_D, Qt::ControlModifier);
            QCOMPARE(h.dialogs.openDialogs, opened + 1);

            w.model().appendTextLine("line");
            QTest::keyClick(view, Qt::Key_X, Qt::ControlModifier | Qt::AltModifier);
            QVERIFY(w.model().textLogEmpty());
        }
    }
    w.setLogViewsEditing(false);

    logView(w, "Memo1")->setFocus();
    QTest::keyClick(logView(w, "Memo1"), Qt::Key_E, Qt::ControlModifier);
    QVERIFY(h.editor->isVisible());
    QVERIFY(!logView(w, "Memo1")->isReadOnly());
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    logView(w, "Memo1")->setFocus();
    QTest::keyClick(logView(w, "Memo1"), Qt::Key_E, Qt::ControlModifier);
    QVERIFY(!h.editor->isVisible());

    QTest::keyClick(logView(w, "Memo1"), Qt::Key_F4);
    QVERIFY(h.options->isVisible());
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    logView(w, "Memo1")->setFocus();
    QTest::keyClick(logView(w, "Memo1"), Qt::Key_F4);
    QVERIFY(!h.options->isVisible());

    QTest::keyClick(logView(w, "Memo1"), Qt::Key_M, Qt::ControlModifier);
    QVERIFY(action(w, "mnuStartUDP")->isChecked());
}

void MainWindowTest::firstStartShowsTheDefaults() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    QVERIFY(QFileInfo(h.filesDir()).isDir());
    QCOMPARE(QDir::cleanPath(w.filesFolder()), QDir::cleanPath(h.filesDir()));
    QVERIFY(w.filesFolder().endsWith(QLatin1Char('/')));
    QVERIFY(w.logsSaved());
    QVERIFY(w.model().offlineDecoder().idle());
    QVERIFY(!w.model().closing());

    QCOMPARE(w.statusText(1), QStringLiteral(" Auto Save 65 535 Text + Hex"));
    QCOMPARE(w.statusText(2), QString());
    QCOMPARE(w.statusText(3), QString());
    QCOMPARE(w.statusText(4), QStringLiteral(" Stopped"));
    QCOMPARE(w.statusText(5),
             QStringLiteral(" Type: 03 05 07 08 09 0B 0D 11 24 44 6C 8C B4 EC F4 FC "));
    QCOMPARE(w.size(), QSize(875, 300));
    QTRY_COMPARE(w.hexPaneHeight(), 60);
    QCOMPARE(control<QSplitter>(w, QStringLiteral("LogSplitter"))->handleWidth(), 2);
    QCOMPARE(control<QWidget>(w, QStringLiteral("GPSPanel"))->height(), 34);
    QCOMPARE(portBox(w)->width(), 64);
    QCOMPARE(portBox(w)->count(), 0);
    QCOMPARE(w.statusBar()->height(), 18);
    const QList<int> widths = {155, 175, 120, 120, 100};
    for (int panel = 1; panel <= 5; ++panel) {
        auto* label = w.statusBar()->findChild<QLabel*>(QStringLiteral("StatusPanel%1").arg(panel));
        QVERIFY(label);
        // Wider where the longest text needs it.
        QVERIFY(label->width() >= widths[panel - 1]);
    }
    for (auto* label : {label(w, "LabelGPSTime"), label(w, "LabelLat"), label(w, "LabelLon"),
                        label(w, "LabelPDOP")}) {
        QVERIFY(!label->isVisible());
    }
    const QStringList addresses = {"192.168.10.1", "192.168.11.1", "192.168.12.1", "192.168.13.1"};
    for (int port = 1; port <= 4; ++port) {
        QCOMPARE(sMeter(w, port)->maximum(), 9);
        QCOMPARE(sMeter(w, port)->value(), 0);
        QCOMPARE(sMeter(w, port)->toolTip(), addresses[port - 1]);
    }
    w.setSMeter(2, 12);
    QCOMPARE(sMeter(w, 2)->value(), 9);

    QVERIFY(logView(w, "Memo1")->isReadOnly());
    QVERIFY(logView(w, "Memo2")->isReadOnly());
    QVERIFY(logView(w, "Memo1")->font().fixedPitch() ||
            QFontInfo(logView(w, "Memo1")->font()).fixedPitch());
    QCOMPARE(logView(w, "Memo1")->font().pointSize(), 8);
    QVERIFY(logView(w, "Memo1")->hasFocus() || QApplication::focusWidget() == logView(w, "Memo1") ||
            w.focusWidget() == logView(w, "Memo1"));
    QVERIFY(!h.editor->isVisible());

    // Numbers use "." whatever the desktop's locale says.
    QCOMPARE(QLocale().decimalPoint(), QStringLiteral("."));
    char number[8];
    std::snprintf(number, sizeof number, "%.1f", 1.5);
    QCOMPARE(QByteArray(number), QByteArray("1.5"));
}

void MainWindowTest::editorStoredOpenIsOpenedAtStart() {
    MainHarness h;
    h.start(true);
    TMainForm& w = *h.main;
    QVERIFY(h.editor->isVisible());
    QVERIFY(h.settings.Editor);
    QCOMPARE(h.editor->windowTitle(), QStringLiteral(" Editor"));
    QCOMPARE(h.editor->minimumSize(), QSize(850, 250));
    QCOMPARE(w.statusText(1), QStringLiteral(" Auto Save Disabled"));
    QVERIFY(!logView(w, "Memo1")->isReadOnly());
    QVERIFY(!logView(w, "Memo2")->isReadOnly());
    QCOMPARE(logView(w, "Memo2")->palette().color(QPalette::Base), QColor(255, 251, 240));

    h.editor->close();  // the close box only hides it
    QVERIFY(!h.editor->isVisible());
    QVERIFY(!h.settings.Editor);
    QVERIFY(logView(w, "Memo1")->isReadOnly());
    QVERIFY(logView(w, "Memo2")->isReadOnly());
    QCOMPARE(logView(w, "Memo2")->palette().color(QPalette::Base),
             logView(w, "Memo1")->palette().color(QPalette::Base));
    QCOMPARE(w.statusText(1), QStringLiteral(" Auto Save 65 535 Text + Hex"));
}

void MainWindowTest::settingsAndEditorNeverShowTogether() {
    MainHarness h;
    h.start(true);
    TMainForm& w = *h.main;
    QVERIFY(h.editor->isVisible());

    action(w, "mnuSettings")->trigger();
    QVERIFY(h.options->isVisible());
    QVERIFY(!h.editor->isVisible());

    action(w, "mnuEditor")->trigger();
    QVERIFY(!h.options->isVisible());
    QVERIFY(h.editor->isVisible());

    action(w, "mnuEditor")->trigger();
    QVERIFY(!h.editor->isVisible());
    action(w, "mnuSettings")->trigger();
    QVERIFY(h.options->isVisible());
    action(w, "mnuSettings")->trigger();
    QVERIFY(!h.options->isVisible());

    // Neither command acts while an offline decoding runs; the window lets
    // events run once before it decodes.
    bool optionsShown = true;
    bool editorShown = true;
    QTimer::singleShot(0, &w, [&] {
        action(w, "mnuSettings")->trigger();
        action(w, "mnuEditor")->trigger();
        optionsShown = h.options->isVisible();
        editorShown = h.editor->isVisible();
    });
    w.model().decodeEditorLines(zelvar::LineList::fromText("1$F4BEE070\t00 01"), QStringLiteral("Editor"));
    QVERIFY(!optionsShown);
    QVERIFY(!editorShown);
}

void MainWindowTest::editorStaysClosedWhileMonitoringIsChecked() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    // Only the check mark, as after a failed start.
    action(w, "mnuStartUDP")->trigger();
    QVERIFY(action(w, "mnuStartUDP")->isChecked());
    action(w, "mnuEditor")->trigger();
    QVERIFY(!h.editor->isVisible());
    action(w, "mnuStartUDP")->trigger();
    action(w, "mnuEditor")->trigger();
    QVERIFY(h.editor->isVisible());

    // The session's accessors.
    w.setDecodeCommandsEnabled(false);
    QVERIFY(!action(w, "mnuDecode")->isEnabled());
    QVERIFY(!action(w, "mnuEditor")->isEnabled());
    w.setDecodeCommandsEnabled(true);
    w.hideEditor();
    QVERIFY(!h.editor->isVisible());
    w.model().setSessionStatusText(QStringLiteral(" Ready"), QString());
    QCOMPARE(w.statusText(4), QStringLiteral(" Ready"));
    w.setHexViewEnabled(false);
    QVERIFY(!logView(w, "Memo2")->isEnabled());
}

void MainWindowTest::autoSaveItemsRefreshTheStatus() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    action(w, "mnuAutoSave")->trigger();
    QVERIFY(!action(w, "mnuAutoSave")->isChecked());
    QVERIFY(!action(w, "mnu65535")->isEnabled());
    QVERIFY(action(w, "mnu65535")->isChecked());
    QCOMPARE(w.statusText(1), QStringLiteral(" Auto Save Disabled"));
    action(w, "mnuAutoSave")->trigger();
    QVERIFY(action(w, "mnu65535")->isEnabled());
    action(w, "mnu65535")->trigger();
    QCOMPARE(w.statusText(1), QStringLiteral(" Auto Save Text + Hex"));
    action(w, "mnuHexLog")->trigger();
    QCOMPARE(w.statusText(1), QStringLiteral(" Auto Save Text"));
    QVERIFY(!w.model().mirrors().HexLog);
}

void MainWindowTest::displayModeKeepsOneHeaderWhileMonitoring() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    action(w, "mnuStartUDP")->setChecked(true);
    w.RefreshDisplayMode();
    QCOMPARE(w.textLogLines(), QStringList{qs(zelvar::TextHeader)});

    // Twice before any package: one TextHeader again, nothing else.
    action(w, "mnuOnlyRSSI")->trigger();
    QCOMPARE(w.textLogLines(), QStringList{qs(zelvar::RssiHeader)});
    QVERIFY(w.model().mirrors().OnlyRSSI);
    action(w, "mnuOnlyRSSI")->trigger();
    QCOMPARE(w.textLogLines(), QStringList{qs(zelvar::TextHeader)});

    // After data the new header follows it, and the old one stays above.
    w.model().appendTextLine("data");
    action(w, "mnuOnlyRSSI")->trigger();
    QCOMPARE(w.textLogLines(),
             (QStringList{qs(zelvar::TextHeader), "data", qs(zelvar::RssiHeader)}));

    // With the GPS port open the RSSI header becomes the GPS one in place.
    w.model().gpsStripParts().gps.Connected = true;
    w.RefreshDisplayMode();
    QCOMPARE(w.textLogLines(),
             (QStringList{qs(zelvar::TextHeader), "data", qs(zelvar::GpsHeader)}));
    w.model().setMonitoring(true);
    w.RefreshTypeSummary();
    QCOMPARE(w.statusText(5), QStringLiteral(" GPS + RSSI"));
    w.model().setMonitoring(false);
}

void MainWindowTest::displayModeOutsideMonitoringOnlyChangesTheSummary() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    w.model().appendTextLine("Stop");
    action(w, "mnuOnlyRSSI")->trigger();
    QCOMPARE(w.textLogLines(), QStringList{"Stop"});
    QCOMPARE(w.statusText(5), QStringLiteral(" Display Only RSSI"));

    // The live decoder asks for a header only when the log is empty; outside
    // monitoring it still gets none.
    QVERIFY(!w.model().textLogEmpty());
    action(w, "mnuClear")->trigger();
    QVERIFY(w.model().textLogEmpty());
    w.RefreshDisplayMode();
    QVERIFY(w.model().textLogEmpty());
}

void MainWindowTest::typeFlagsOfTheDialogRefreshTheSummary() {
    MainHarness h;
    h.start();
    TMainForm& w = *h.main;
    h.settings.typeFlags.fill(false);
    emit h.options->typeFlagsChanged();
    QCOMPARE(w.statusText(5), QStringLiteral(" Not selected type of package"));
    h.settings.setTypeFlag("10", true);
    emit h.options->typeFlagsChanged();
    QCOMPARE(w.statusText(5), QStringLiteral(" Type: 10 "));
}

void MainWindowTest::escInEitherViewStopsDecoding() {
    for (const char* name : {"Memo1", "Memo2"}) {
        MainHarness h;
        h.start();
        TMainForm& w = *h.main;
        zelvar::LogView* view = logView(w, name);
        QTest::keyClick(view, Qt::Key_A);
        QVERIFY(!w.model().offlineDecoder().abortRequested());
        QTest::keyClick(view, Qt::Key_Escape);
        QVERIFY(w.model().offlineDecoder().abortRequested());
    }
}

void MainWindowTest::serialPortBoxSelectsTheRememberedPort() {
    MainHarness h;
    h.store(QStringLiteral("numCom"), QStringLiteral("ttyS0"));
    h.main->setSerialPortLister([] { return QStringList{"ttyS0", "ttyUSB0", "ttyS0", "ttyACM0"}; });
    h.start();
    TMainForm& w = *h.main;
    QCOMPARE(portBox(w)->currentIndex(), 2);

    h.settings.numCom = "gone";
    w.setSerialPorts({"ttyS0", "ttyUSB0"});
    QCOMPARE(portBox(w)->currentIndex(), 1);
    QCOMPARE(h.settings.numCom, std::string("gone"));
    w.setSerialPorts({});
    QCOMPARE(portBox(w)->currentIndex(), -1);

    w.setSerialPorts({"ttyS0", "ttyUSB0"});
    emit portBox(w)->activated(0);
    QCOMPARE(h.settings.numCom, std::string("ttyS0"));
}

// A port under /dev/serial/by-id has a name of 60 characters: the box shows
// what fits, the tool tip and the list the whole name, and at the window's
// least width every part of the strip keeps its room beside the others.
void MainWindowTest::longPortNameLeavesTheStripWhole() {
    const QString name =
        QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    MainHarness h;
    h.store(QStringLiteral("numCom"), name);
    h.main->setSerialPortLister([&name] { return QStringList{QStringLiteral("ttyS0"), name}; });
    h.start();
    TMainForm& w = *h.main;
    QCOMPARE(portBox(w)->currentText(), name);
    QCOMPARE(portBox(w)->toolTip(), name);
    portBox(w)->showPopup();
    QTRY_VERIFY(portBox(w)->view()->isVisible());
    QVERIFY2(portBox(w)->view()->viewport()->width() >
                 portBox(w)->view()->fontMetrics().horizontalAdvance(name),
             qPrintable(QString::number(portBox(w)->view()->viewport()->width())));
    portBox(w)->hidePopup();
    portBox(w)->setCurrentIndex(0);
    QCOMPARE(portBox(w)->toolTip(), QStringLiteral("ttyS0"));
    portBox(w)->setCurrentIndex(1);

    // The labels of a fix, as wide as a receiver makes them.
    label(w, "LabelGPSTime")->setText(QStringLiteral("08.12.2026 16:35:19"));
    label(w, "LabelLat")->setText(QStringLiteral("Lat: 4807.03812,N"));
    label(w, "LabelLon")->setText(QStringLiteral("Lon: 01131.00025,E"));
    label(w, "LabelPDOP")->setText(QStringLiteral("PDOP: 12.5"));
    for (QLabel* label : {label(w, "LabelGPSTime"), label(w, "LabelLat"), label(w, "LabelLon"),
                          label(w, "LabelPDOP")})
        label->show();
    w.resize(w.minimumSize());
    QTRY_COMPARE(w.width(), w.minimumWidth());
    control<QWidget>(w, QStringLiteral("GPSPanel"))->layout()->activate();
    QList<QWidget*> parts;
    for (QWidget* part : control<QWidget>(w, QStringLiteral("GPSPanel"))
                             ->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (part->isVisible()) parts << part;
    }
    for (const QWidget* part : parts) {
        const QString what = part->objectName() + QLatin1Char(' ') +
                             QDebug::toString(part->geometry());
        if (const auto* label = qobject_cast<const QLabel*>(part)) {
            QVERIFY2(part->width() >= label->minimumSizeHint().width(), qPrintable(what));
        }
        QVERIFY2(control<QWidget>(w, QStringLiteral("GPSPanel"))->rect().contains(part->geometry()),
                 qPrintable(what));
        for (const QWidget* other : parts) {
            QVERIFY2(other == part || !other->geometry().intersects(part->geometry()),
                     qPrintable(what + QStringLiteral(" meets ") + other->objectName()));
        }
    }
}

void MainWindowTest::settingsRoundTrip() {
    MainHarness h;
    const QList<std::pair<QString, QString>> stored = {
        {"AutoSave", "0"},  {"HexLog", "0"},      {"65535", "0"},        {"OnlyRSSI", "1"},
        {"fWidth", "1000"}, {"fHeight", "500"},   {"fTop", "60"},        {"fLeft", "50"},
        {"mHeight", "90"},  {"eWidth", "900"},    {"eHeight", "400"},    {"eTop", "70"},
        {"eLeft", "80"},    {"IP2", "127.0.0.2"}, {"numCom", "ttyUSB7"}, {"HexLog", "5"}};
    for (const auto& [key, value] : stored) h.store(key, value);
    h.start();
    TMainForm& w = *h.main;
    QVERIFY(!action(w, "mnuAutoSave")->isChecked());
    QVERIFY(action(w, "mnuHexLog")->isChecked());  // "5" reads as true
    QVERIFY(!action(w, "mnu65535")->isChecked());
    QVERIFY(!action(w, "mnu65535")->isEnabled());
    QVERIFY(action(w, "mnuOnlyRSSI")->isChecked());
    QVERIFY(w.model().mirrors().OnlyRSSI);
    QCOMPARE(w.statusText(1), QStringLiteral(" Auto Save Disabled"));
    QCOMPARE(w.statusText(5), QStringLiteral(" Display Only RSSI"));
    QCOMPARE(w.size(), QSize(1000, 500));
    QCOMPARE(w.pos(), QPoint(50, 60));
    QTRY_COMPARE(w.hexPaneHeight(), 90);
    QCOMPARE(h.editor->size(), QSize(900, 400));
    QCOMPARE(h.editor->pos(), QPoint(80, 70));
    QCOMPARE(sMeter(w, 2)->toolTip(), QStringLiteral("127.0.0.2"));

    // Change what the user can change, then close.
    action(w, "mnuAutoSave")->trigger();
    action(w, "mnuOnlyRSSI")->trigger();
    w.resize(900, 400);
    w.move(20, 30);
    w.setHexPaneHeight(120);
    QTRY_COMPARE(w.hexPaneHeight(), 120);
    h.editor->resize(950, 300);
    QVERIFY(w.close());

    QCOMPARE(h.stored("AutoSave"), QStringLiteral("1"));
    QCOMPARE(h.stored("HexLog"), QStringLiteral("1"));
    QCOMPARE(h.stored("65535"), QStringLiteral("0"));
    QCOMPARE(h.stored("OnlyRSSI"), QStringLiteral("0"));
    QCOMPARE(h.stored("Editor"), QStringLiteral("0"));
    QCOMPARE(h.stored("mwMaximized"), QStringLiteral("0"));
    QCOMPARE(h.stored("fWidth"), QStringLiteral("900"));
    QCOMPARE(h.stored("fHeight"), QStringLiteral("400"));
    QCOMPARE(h.stored("fTop"), QStringLiteral("30"));
    QCOMPARE(h.stored("fLeft"), QStringLiteral("20"));
    QCOMPARE(h.stored("mHeight"), QStringLiteral("120"));
    QCOMPARE(h.stored("eWidth"), QStringLiteral("950"));
    QCOMPARE(h.stored("eHeight"), QStringLiteral("300"));
    QCOMPARE(h.stored("IP2"), QStringLiteral("127.0.0.2"));
    QCOMPARE(h.stored("numCom"), QStringLiteral("ttyUSB7"));
}

void MainWindowTest::maximisedWindowKeepsItsStoredBounds() {
    MainHarness h;
    h.store(QStringLiteral("fWidth"), QStringLiteral("1111"));
    h.start();
    TMainForm& w = *h.main;
    w.showMaximized();
    QTRY_VERIFY(w.isMaximized());
    QVERIFY(w.close());
    QCOMPARE(h.stored("mwMaximized"), QStringLiteral("1"));
    QCOMPARE(h.stored("fWidth"), QStringLiteral("1111"));

    MainHarness again;
    again.store(QStringLiteral("mwMaximized"), QStringLiteral("1"));
    again.start();
    QTRY_VERIFY(again.main->isMaximized());
}

// Bounds from a damaged store neither make a window of absurd size off the
// screen nor get stored again.
void MainWindowTest::boundsOffTheScreensComeBackOntoThem() {
    MainHarness h;
    h.store(QStringLiteral("fWidth"), QStringLiteral("99999999"));
    h.store(QStringLiteral("fTop"), QStringLiteral("-2147483648"));
    h.store(QStringLiteral("eLeft"), QStringLiteral("-50000"));
    h.store(QStringLiteral("eHeight"), QStringLiteral("99999999"));
    h.start(true);
    TMainForm& w = *h.main;
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const auto onScreen = [&screen](const QWidget* window) {
        return window->isVisible() && screen.contains(window->windowHandle()->frameGeometry());
    };
    QTRY_VERIFY(onScreen(&w));
    QTRY_VERIFY(onScreen(h.editor.get()));
    action(w, "mnuSettings")->trigger();
    QTRY_VERIFY(onScreen(h.options.get()));
    QVERIFY(w.close());
    QVERIFY(h.stored("fWidth").toInt() <= screen.width());
    QVERIFY(h.stored("fTop").toInt() >= 0);
    QVERIFY(h.stored("eLeft").toInt() >= 0);
    QVERIFY(h.stored("eHeight").toInt() <= screen.height());
}

// A window cannot be smaller than its least size: where it is placed must
// allow for the size it will really have.
void MainWindowTest::boundsBelowTheLeastSizeStayOnTheScreen() {
    MainHarness h;
    h.store(QStringLiteral("fLeft"), QStringLiteral("-2147483648"));
    h.store(QStringLiteral("fWidth"), QStringLiteral("-5"));
    h.store(QStringLiteral("fHeight"), QStringLiteral("-5"));
    h.store(QStringLiteral("eLeft"), QStringLiteral("1270"));
    h.store(QStringLiteral("eWidth"), QStringLiteral("1"));
    h.start(true);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const QWidget* window : {static_cast<QWidget*>(h.main.get()),
                                  static_cast<QWidget*>(h.editor.get())}) {
        QTRY_VERIFY(window->isVisible());
        QTRY_VERIFY2(screen.contains(window->windowHandle()->frameGeometry()),
                     qPrintable(QDebug::toString(window->windowHandle()->frameGeometry())));
    }
}

void MainWindowTest::closeWithEditorOpenStoresEditorAndWritesNoLog() {
    MainHarness h;
    h.start(true);
    TMainForm& w = *h.main;
    w.model().appendTextLine("unsaved");
    w.model().liveDataReceived();
    QVERIFY(w.close());
    QVERIFY(h.savedFiles().isEmpty());
    QCOMPARE(h.stored("Editor"), QStringLiteral("1"));
    QVERIFY(!h.editor->isVisible());
}

// A settings store that cannot be written (its folder is a file here, which
// stops root as well; or it is a FIFO) is reported in the status bar at
// start, and only once; one that stops being writable meanwhile is reported
// when the close cannot save to it.
void MainWindowTest::unwritableSettingsAreReportedOnce() {
    const auto hint = [](TMainForm& w) {
        return w.findChild<QLabel*>(QStringLiteral("StatusPanel3"))->toolTip();
    };
    {
        MainHarness h;
        MainHarness::writeAll(h.scratch(QStringLiteral("blocked")), "not a folder");
        const QString path = h.scratch(QStringLiteral("blocked/Zelvar.ini"));
        h.main->setSettingsStore(std::make_unique<zelvar::SettingsStore>(path));
        h.start();
        QCOMPARE(h.main->statusText(3), QStringLiteral(" Settings Not Saved"));
        QVERIFY2(hint(*h.main).contains(path), qPrintable(hint(*h.main)));
        h.main->setStatusText(3, QString());
        QVERIFY(h.main->close());
        QCOMPARE(h.main->statusText(3), QString());
    }
    {
        MainHarness h;
        QVERIFY(QDir().mkpath(h.scratch(QStringLiteral("later"))));
        const QString path = h.scratch(QStringLiteral("later/Zelvar.ini"));
        h.main->setSettingsStore(std::make_unique<zelvar::SettingsStore>(path));
        h.start();
        QCOMPARE(h.main->statusText(3), QString());
        QVERIFY(QDir(h.scratch(QStringLiteral("later"))).removeRecursively());
        MainHarness::writeAll(h.scratch(QStringLiteral("later")), "now a file");
        QVERIFY(h.main->close());
        QCOMPARE(h.main->statusText(3), QStringLiteral(" Settings Not Saved"));
        QVERIFY2(hint(*h.main).contains(path), qPrintable(hint(*h.main)));
    }
    {
        // A FIFO in the store's place would hold the start until someone
        // writes into it: the window starts on the defaults and leaves it.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Zelvar.conf"));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        const zelvar::test::FifoRescue rescue(QFile::encodeName(path).toStdString());
        MainHarness h;
        h.main->setSettingsStore(std::make_unique<zelvar::SettingsStore>(path));
        h.start();
        QCOMPARE(h.main->statusText(3), QStringLiteral(" Settings Not Saved"));
        QVERIFY2(hint(*h.main).contains(path), qPrintable(hint(*h.main)));
        QVERIFY(h.main->close());
        QCOMPARE(rescue.rescues(), 0);
        QVERIFY(QFileInfo(path).exists() && !QFileInfo(path).isFile());
    }
}

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"

