// The editor's Options commands in the window, on whatever display Qt is
// given (offscreen by default): each line transform and the port sort on a
// generated hex log of 65,536 and of 1,000,000 lines, from the command to
// its result's first screen painted with the window taking input again;
// and the find buttons on the 1,000,000-line document, the first press
// (which prepares the upper-cased text) and the presses after it, each
// searching the whole text for something it does not hold.
// The marks on the whole text of 65,536 and of 1,000,000 lines: Ctrl+A,
// R, then bold, then "All Markers...", each to its result painted, and a
// keystroke typed at the end of the marked text.
// Each size runs in child processes of its own; the figures are medians.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QToolButton>
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "GeneratedLog.h"
#include "ProcessUsage.h"
#include "RichEditArea.h"
#include "Settings.h"
#include "ZelvarEditor.h"

namespace {

// The machine these run on is often shared: few runs, medians of them.
constexpr int kRuns = 5;
constexpr int kFindPresses = 5;

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

int childCommands(const QString& path) {
    zelvar::Settings settings;
    TEditorForm form(settings);
    form.show();
    QCoreApplication::processEvents();
    for (const Command& command : kCommands) {
        if (!form.openDocument(path)) return 1;
        settle(form);
        QElapsedTimer clock;
        clock.start();
        const double cpuBefore = zelvar::bench::CpuMs();
        form.findChild<QAction*>(QLatin1String(command.action))->trigger();
        settle(form);
        std::printf("%s %lld\n%s-cpu %.0f\n", command.name, static_cast<long long>(clock.elapsed()),
                    command.name, zelvar::bench::CpuMs() - cpuBefore);
    }
    return 0;
}

int childFind(const QString& path) {
    zelvar::Settings settings;
    TEditorForm form(settings);
    form.show();
    QCoreApplication::processEvents();
    if (!form.openDocument(path)) return 1;
    settle(form);
    form.findChild<QLineEdit*>(QStringLiteral("EditFind"))
        ->setText(QStringLiteral("NOT IN THE LOG"));
    for (int press = 0; press < kFindPresses; ++press) {
        QElapsedTimer clock;
        clock.start();
        form.findChild<QToolButton*>(QStringLiteral("BtnFindNext"))->click();
        settle(form);
        std::printf("%s %lld\n", press == 0 ? "find-first" : "find-again",
                    static_cast<long long>(clock.elapsed()));
    }
    return 0;
}

int childMarks(const QString& path) {
    zelvar::Settings settings;
    TEditorForm form(settings);
    form.show();
    QCoreApplication::processEvents();
    if (!form.openDocument(path)) return 1;
    settle(form);
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
        std::printf("%s %7d lines %-14s median %6.0f ms (max %.0f, %zu readings)\n", what, lines,
                    name.c_str(), median(values), *std::max_element(values.begin(), values.end()),
                    values.size());
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
    if (args.size() == 3 && args[1] == QStringLiteral("--marks")) return childMarks(args[2]);
    // --log N PATH: the generated log of N lines, for running a child by hand.
    if (args.size() == 4 && args[1] == QStringLiteral("--log")) {
        writeFile(args[3], zelvar::bench::GenerateHexLog(args[2].toULongLong()));
        return 0;
    }
    // --quick: one run of each, for a busy machine; --marks-only: the marks alone.
    const int runs = args.contains(QStringLiteral("--quick")) ? 1 : kRuns;
    const bool marksOnly = args.contains(QStringLiteral("--marks-only"));

    QTemporaryDir dir;
    const QString small = dir.filePath(QStringLiteral("small.hex"));
    const QString large = dir.filePath(QStringLiteral("large.hex"));
    writeFile(small, zelvar::bench::GenerateHexLog(65536));
    writeFile(large, zelvar::bench::GenerateHexLog(1000000));
    std::printf("platform %s, %d runs each\n", qPrintable(QGuiApplication::platformName()), runs);
    report("marks  ", 65536, {QStringLiteral("--marks"), small}, runs);
    report("marks  ", 1000000, {QStringLiteral("--marks"), large}, runs);
    if (marksOnly) return 0;
    report("command", 65536, {QStringLiteral("--commands"), small}, runs);
    report("find   ", 1000000, {QStringLiteral("--find"), large}, runs);
    report("command", 1000000, {QStringLiteral("--commands"), large}, runs);
    return 0;
}
