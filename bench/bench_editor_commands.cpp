// The editor's Options commands in the window, on whatever display Qt is
// given (offscreen by default): each line transform and the port sort on a
// generated hex log of 65,536 and of 1,000,000 lines, from the command to
// its result's first screen painted with the window taking input again;
// the longest the window went without handling events meanwhile, and
// Escape 300 ms into each; and the find buttons on the 1,000,000-line
// document, for a text found every 1,000 lines and for one it does not hold.
// The marks on the whole text of 65,536 and of 1,000,000 lines: Ctrl+A,
// R, B (blue), then bold, then "All Markers...", each to its result
// painted, and a keystroke typed at the end of the marked text.
// The peak resident memory of each command above what the window held just
// before it (its undo history included), and of "Save As..." (RTF) and of
// "Decode..." up to the hand-over of the lines, and a keystroke with a line of
// 100,000 characters on the screen, in another line and in that one.
// Each size runs in child processes of its own; the figures are medians.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "EditorDialogs.h"
#include "EditorHost.h"
#include "GeneratedLog.h"
#include "ProcessUsage.h"
#include "RichEditArea.h"
#include "Settings.h"
#include "ZelvarEditor.h"

namespace {

// The machine these run on is often shared: few runs, medians of them.
constexpr int kRuns = 5;
constexpr int kFindPresses = 5;
// Written into every 1,000th line of the large log.
const QString kNote = QStringLiteral("ПРОВЕРКА");

struct Command {
    const char* name;
    const char* action;  // the command's object name
};

const Command kCommands[] = {
    {"strip-stamps", "mnuClearTime"},   {"spaces", "mnuClearSpace"},     {"divide", "mnuAddSpace"},
    {"hex-to-byte", "mnuHexToByte"},    {"byte-to-hex", "mnuByteToHex"}, {"min16", "mnuClear16"},
    {"mask", "mnuUserFilter"},          {"packets-0b-05", "mnuF0B05"},   {"short", "mnuClear32"},
    {"sort-ports", "SortDatabyPorts1"},
};

// The first screen of the current text drawn and the events of the moment
// handled.
void settle(TEditorForm& form) {
    form.findChild<RichEditArea*>(QStringLiteral("RichEdit"))->viewport()->repaint();
    QCoreApplication::processEvents();
}

// The longest the window went without handling its events while a step
// ran: the worst lateness of a 10 ms timer.
class Lateness {
public:
    Lateness() {
        tick_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick_, &QTimer::timeout, [this] {
            worst_ = std::max(worst_, clock_.restart() - 10);
        });
        clock_.start();
        tick_.start(10);
    }
    qint64 worst() const { return std::max(worst_, clock_.elapsed() - 10); }

private:
    QTimer tick_;
    QElapsedTimer clock_;
    qint64 worst_ = 0;
};

// The editor window shown, as each child starts it.
struct ShownEditor {
    zelvar::Settings settings;
    zelvar::BusyRuns runs;
    TEditorForm form{settings, runs};
    ShownEditor() {
        form.show();
        QCoreApplication::processEvents();
    }
    // The log opened and its first screen drawn.
    bool open(const QString& path) {
        if (!form.openDocument(path)) return false;
        settle(form);
        return true;
    }
};

// "Save As..." answered with a file in the run's folder.
class SaveHere : public zelvar::EditorDialogs {
public:
    explicit SaveHere(QString path) : path_(std::move(path)) {}
    QString openDocument(QWidget*) override { return {}; }
    QString saveDocumentAs(QWidget*, const QString&) override { return path_; }
    void showError(QWidget*, const QString& text) override {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }

private:
    QString path_;
};

// The main window as "Decode..." reaches it, taking the lines and reading
// each once: what the editor's hand-over costs, without the decoding.
class ReadingHost : public zelvar::EditorHost {
public:
    void decodeEditorLines(zelvar::LineList lines, const QString&) override {
        for (std::size_t i = 0; i < lines.size(); ++i) read_ += lines[i].size();
    }
    void setMainDecodeEnabled(bool) override {}
    bool monitoring() const override { return false; }

private:
    std::size_t read_ = 0;
};

// One step from the document just opened: time, processor time, the
// longest the window went without its events and the peak above before.
void measure(TEditorForm& form, const char* name, const std::function<void()>& step) {
    QElapsedTimer clock;
    const long before = zelvar::bench::StatusKb("VmRSS:");
    zelvar::bench::ResetPeakRss();
    clock.start();
    const double cpuBefore = zelvar::bench::CpuMs();
    qint64 late = 0;
    {
        const Lateness lateness;
        step();
        settle(form);
        late = lateness.worst();
    }
    std::printf("%s %lld\n%s-cpu %.0f\n%s-late %lld\n%s-peak-above-MB %ld\n", name,
                static_cast<long long>(clock.elapsed()), name, zelvar::bench::CpuMs() - cpuBefore,
                name, static_cast<long long>(late), name,
                (zelvar::bench::PeakRssKb() - before) / 1024);
}

int childCommands(const QString& path) {
    ShownEditor editor;
    TEditorForm& form = editor.form;
    for (const Command& command : kCommands) {
        if (!editor.open(path)) return 1;
        measure(form, command.name,
                [&] { form.findChild<QAction*>(QLatin1String(command.action))->trigger(); });
    }
    QTemporaryDir dir;
    SaveHere dialogs(dir.filePath(QStringLiteral("saved.rtf")));
    form.setDialogs(&dialogs);
    ReadingHost host;
    form.setHost(&host);
    if (!editor.open(path)) return 1;
    measure(form, "save-as-rtf",
            [&] { form.findChild<QAction*>(QStringLiteral("mnuSaveRtf"))->trigger(); });
    if (!editor.open(path)) return 1;
    measure(form, "decode",
            [&] { form.findChild<QPushButton*>(QStringLiteral("SBDecode"))->click(); });
    form.setDialogs(nullptr);
    return 0;
}

// Escape pressed 300 ms into each command: how long until the run stopped
// (" Display..." shown, or the run over) and until the command has ended
// with its result shown and the window its own again.
int childEscape(const QString& path) {
    ShownEditor editor;
    TEditorForm& form = editor.form;
    auto* area = form.findChild<RichEditArea*>(QStringLiteral("RichEdit"));
    for (const Command& command : kCommands) {
        if (!editor.open(path)) return 1;
        QElapsedTimer pressed;
        qint64 stopped = -1;
        QTimer watch;
        watch.setTimerType(Qt::PreciseTimer);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (pressed.isValid() && stopped < 0 &&
                form.statusText(2) == QStringLiteral(" Display...")) {
                stopped = pressed.elapsed();
            }
        });
        watch.start(2);
        QTimer::singleShot(300, area, [&] {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(area, &press);
            pressed.start();
        });
        form.findChild<QAction*>(QLatin1String(command.action))->trigger();
        settle(form);
        // A command over before the key came has nothing to stop.
        if (pressed.isValid()) {
            const qint64 ended = pressed.elapsed();
            std::printf("%s-stopped %lld\n%s-shown %lld\n", command.name,
                        static_cast<long long>(stopped < 0 ? ended : stopped), command.name,
                        static_cast<long long>(ended));
        }
    }
    return 0;
}

// Presses of "find next" from the top of a document that holds the text
// every 1,000 lines, and of one that does not hold it.
int childFind(const QString& path) {
    ShownEditor editor;
    TEditorForm& form = editor.form;
    if (!editor.open(path)) return 1;
    const auto presses = [&form](const char* name, const QString& what) {
        form.findChild<QLineEdit*>(QStringLiteral("EditFind"))->setText(what);
        for (int press = 0; press < kFindPresses; ++press) {
            QElapsedTimer clock;
            clock.start();
            form.findChild<QToolButton*>(QStringLiteral("BtnFindNext"))->click();
            settle(form);
            std::printf("%s %lld\n", name, static_cast<long long>(clock.elapsed()));
        }
    };
    presses("find-absent", QStringLiteral("NOT IN THE LOG"));
    presses("find-every-1000", kNote);
    return 0;
}

int childMarks(const QString& path) {
    ShownEditor editor;
    TEditorForm& form = editor.form;
    if (!editor.open(path)) return 1;
    auto* area = form.findChild<RichEditArea*>(QStringLiteral("RichEdit"));
    // Processor time as well: on a shared machine it says what a step costs.
    const auto timed = [&form](const char* name, const auto& step) {
        QElapsedTimer clock;
        clock.start();
        const double cpuBefore = zelvar::bench::CpuMs();
        step();
        settle(form);
        std::printf("%s %lld\n%s-cpu %.0f\n", name, static_cast<long long>(clock.elapsed()), name,
                    zelvar::bench::CpuMs() - cpuBefore);
    };
    timed("select-all", [&] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier);
        QCoreApplication::sendEvent(area, &press);
    });
    timed("mark-red", [&] { form.findChild<QToolButton*>(QStringLiteral("BtnRedMark"))->click(); });
    timed("mark-blue",
          [&] { form.findChild<QToolButton*>(QStringLiteral("BtnBlueMark"))->click(); });
    timed("mark-bold",
          [&] { form.findChild<QToolButton*>(QStringLiteral("BtnBoldMark"))->click(); });
    area->moveToEnd();
    settle(form);
    timed("keystroke", [&] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("X"));
        QCoreApplication::sendEvent(area, &press);
    });
    timed("all-markers", [&] { form.findChild<QAction*>(QStringLiteral("mnuResetTTA"))->trigger(); });
    return 0;
}

// Keys typed at the start of a short line and at the end of a line of
// 100,000 characters, with spaces and without, all on the screen, each to
// its result painted.
int childLongLine() {
    ShownEditor editor;
    TEditorForm& form = editor.form;
    auto* area = form.findChild<RichEditArea*>(QStringLiteral("RichEdit"));
    QString text = QStringLiteral("1$451C2A0B\t00 11 22 33 0B\n").repeated(5);
    const std::size_t longStart = static_cast<std::size_t>(text.size());
    // Bytes as a hex log writes them, and as long a run without a space.
    text += QStringLiteral("0B ").repeated(100000 / 3) + QLatin1Char('\n');
    text += QString(100000, QLatin1Char('A')) + QLatin1Char('\n');
    text += QStringLiteral("1$451C2A0B\t00 11 22 33 0B\n").repeated(20);
    form.setPlainDocument(text);
    settle(form);
    const auto type = [&](const char* name) {
        for (int key = 0; key < 10; ++key) {
            QElapsedTimer clock;
            clock.start();
            QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("X"));
            QCoreApplication::sendEvent(area, &press);
            settle(form);
            std::printf("%s %lld\n", name, static_cast<long long>(clock.elapsed()));
        }
    };
    type("key-beside-long");
    const std::size_t spacedEnd = longStart + 100000 / 3 * 3;
    area->setSelection(spacedEnd, spacedEnd);
    settle(form);
    type("key-in-long-spaced");
    const std::size_t unspacedEnd = spacedEnd + 1 + 100000;
    area->setSelection(unspacedEnd, unspacedEnd);
    settle(form);
    type("key-in-long-unspaced");
    return 0;
}

std::map<std::string, std::vector<double>> runChild(const QStringList& args) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), args);
    child.waitForFinished(-1);
    std::map<std::string, std::vector<double>> values;
    for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() == 2) values[fields[0].toStdString()].push_back(fields[1].toDouble());
    }
    return values;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void report(const char* what, int lines, const QStringList& args, int runs) {
    std::map<std::string, std::vector<double>> all;
    for (int run = 0; run < runs; ++run) {
        for (auto& [name, values] : runChild(args)) {
            all[name].insert(all[name].end(), values.begin(), values.end());
        }
    }
    for (const auto& [name, values] : all) {
        const char* unit = name.ends_with("-MB") ? "MB" : "ms";
        std::printf("%s %7d lines %-14s median %6.0f %s (max %.0f, %zu readings)\n", what, lines,
                    name.c_str(), median(values), unit,
                    *std::max_element(values.begin(), values.end()), values.size());
    }
}

void writeFile(const QString& path, const std::string& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args[1] == QStringLiteral("--commands")) return childCommands(args[2]);
    if (args.size() == 3 && args[1] == QStringLiteral("--find")) return childFind(args[2]);
    if (args.size() == 3 && args[1] == QStringLiteral("--escape")) return childEscape(args[2]);
    if (args.size() == 3 && args[1] == QStringLiteral("--marks")) return childMarks(args[2]);
    if (args.size() == 2 && args[1] == QStringLiteral("--long-line")) return childLongLine();
    // --log N PATH: the generated log of N lines, for running a child by hand.
    if (args.size() == 4 && args[1] == QStringLiteral("--log")) {
        writeFile(args[3], zelvar::bench::GenerateHexLog(args[2].toULongLong()));
        return 0;
    }
    // --quick: one run of each, for a busy machine; --marks-only: the marks
    // alone; --large-commands: the long line and the commands on 1,000,000 lines alone.
    const int runs = args.contains(QStringLiteral("--quick")) ? 1 : kRuns;
    const bool marksOnly = args.contains(QStringLiteral("--marks-only"));
    const bool largeCommands = args.contains(QStringLiteral("--large-commands"));

    QTemporaryDir dir;
    const QString small = dir.filePath(QStringLiteral("small.hex"));
    const QString large = dir.filePath(QStringLiteral("large.hex"));
    writeFile(small, zelvar::bench::GenerateHexLog(65536));
    const std::string log = zelvar::bench::GenerateHexLog(1000000);
    writeFile(large, log);
    // The note after the stamp of every 1,000th line, for the find buttons.
    std::string withNotes;
    withNotes.reserve(log.size() + log.size() / 100);
    const std::string note = kNote.toStdString() + ' ';
    for (std::size_t at = 0, line = 0; at < log.size(); ++line) {
        const std::size_t end = log.find('\n', at) + 1;
        const std::size_t tab = log.find('\t', at) + 1;
        if (line % 1000 == 999 && tab < end) {
            withNotes.append(log, at, tab - at).append(note).append(log, tab, end - tab);
        } else {
            withNotes.append(log, at, end - at);
        }
        at = end;
    }
    const QString noted = dir.filePath(QStringLiteral("noted.hex"));
    writeFile(noted, withNotes);
    std::printf("platform %s, %d runs each\n", qPrintable(QGuiApplication::platformName()), runs);
    if (largeCommands) {
        report("typing ", 45, {QStringLiteral("--long-line")}, runs);
        report("command", 1000000, {QStringLiteral("--commands"), large}, runs);
        return 0;
    }
    report("marks  ", 65536, {QStringLiteral("--marks"), small}, runs);
    report("marks  ", 1000000, {QStringLiteral("--marks"), large}, runs);
    if (marksOnly) return 0;
    report("command", 65536, {QStringLiteral("--commands"), small}, runs);
    report("find   ", 1000000, {QStringLiteral("--find"), noted}, runs);
    report("command", 1000000, {QStringLiteral("--commands"), large}, runs);
    report("escape ", 1000000, {QStringLiteral("--escape"), large}, runs);
    return 0;
}
