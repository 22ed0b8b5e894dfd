#include "EditorCommands.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <exception>
#include <optional>
#include <string>

#include "DateTime.h"
#include "EditorHost.h"
#include "PortSort.h"
#include "ProcessLines.h"
#include "RichEditArea.h"
#include "TextSearch.h"

namespace zelvar {

namespace {

QString fromStd(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The editor window as the core's line commands see it.
class WindowOutput : public TransformOutput {
public:
    // The window's runs let the events through; the result is one step to
    // undo, named `command`.
    WindowOutput(EditorCommandHost& window, QString command)
        : window_(window), runs_(window.runs()), command_(std::move(command)) {}

    // A long run has thousands of progress steps, and drawing each on a
    // display costs more than the step itself: the panel takes every step's
    // text and is drawn at most every 20 ms, and with the last.
    void setProgressText(std::string_view text) override {
        constexpr qint64 kDrawEveryMs = 20;
        const bool draw = text.empty() || !drawn_.isValid() || drawn_.hasExpired(kDrawEveryMs);
        if (draw) drawn_.start();
        window_.setStatusText(1, fromStd(text), draw);
    }
    void setActivityText(std::string_view text) override { window_.setStatusText(2, fromStd(text)); }
    void processPendingEvents() override { runs_.letEventsThrough(); }
    void clearText() override { replace({}); }
    void runAside(const std::function<void()>& step) override { runs_.runAside(step); }
    // The document shares the lines' text: a conversion's result is its
    // old values as well, held once.
    void showLines(const LineList& lines) override { replace(lines.share()); }

private:
    void replace(SharedText utf8) {
        window_.replaceDocument(std::move(utf8), command_, replaced_);
        replaced_ = true;
    }

    EditorCommandHost& window_;
    BusyRuns& runs_;
    const QString command_;
    bool replaced_ = false;
    QElapsedTimer drawn_;
};

// The text area takes no typing while a line command runs: typing would be
// lost when the result replaces the text, and the text is read while
// the window's events go on (the busy runs refuse the other commands that
// would change it).
class ReadOnlyArea {
public:
    explicit ReadOnlyArea(RichEditArea& area) : area_(area) { area_.setReadOnly(true); }
    ~ReadOnlyArea() { area_.setReadOnly(false); }
    ReadOnlyArea(const ReadOnlyArea&) = delete;
    ReadOnlyArea& operator=(const ReadOnlyArea&) = delete;

private:
    RichEditArea& area_;
};

std::u16string_view utf16(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

}  // namespace

EditorCommands::EditorCommands(EditorCommandHost& window, QObject* parent)
    : QObject(parent), window_(window) {}

EditorCommands::~EditorCommands() = default;

void EditorCommands::run(const Transform& transform, const QString& command) {
    const auto running = window_.beginCommand();
    if (running) runBegun(transform, command);
}

void EditorCommands::runBegun(const Transform& transform, const QString& command) {
    const ReadOnlyArea readOnly(window_.textArea());
    try {
        WindowOutput output(window_, command);
        // The text as it stands, shared: the lines are read aside from it
        // and a filter keeps it as its old values.
        SharedLines document(window_.textArea().content().share());
        ProcessLines(document, transform, WorkLines, StopFlag, output);
    } catch (const std::exception& error) {
        // No memory for a huge document: the status must not claim a run.
        window_.setStatusText(1, {});
        window_.setStatusText(2, {});
        window_.showError(QString::fromLocal8Bit(error.what()));
    }
}

void EditorCommands::runTransform(TransformMode mode, const QString& command) {
    run(TransformFor(mode), command);
}

void EditorCommands::mnuUserFilterClick(const QString& byte, const QString& type,
                                        const QString& command) {
    // From the error box on: a drop or another command waits for it.
    const auto running = window_.beginCommand();
    if (!running) return;
    Transform transform;
    try {
        transform = MaskTransform(byte.toStdString(), type.toStdString());
    } catch (const InvalidIntegerError& error) {
        window_.showError(QString::fromUtf8(error.what()));
        return;
    }
    runBegun(transform, command);
}

void EditorCommands::mnuUndoFilterClick(const QString& command) {
    const auto running = window_.beginCommand();
    if (!running) return;
    const ReadOnlyArea readOnly(window_.textArea());
    WindowOutput output(window_, command);
    RestoreWorkLines(WorkLines, output);
}

void EditorCommands::SortDatabyPorts1Click(const QString& command) {
    const auto running = window_.beginCommand();
    if (!running) return;
    const ReadOnlyArea readOnly(window_.textArea());
    try {
        WindowOutput output(window_, command);
        const SharedText text = window_.textArea().content().share();
        SortDatabyPorts([&text] { return LineList::fromShared(text); }, WorkLines, output);
    } catch (const std::exception& error) {
        window_.showError(QString::fromLocal8Bit(error.what()));
    }
}

void EditorCommands::toggleColor(MarkColor color) {
    const bool marked = window_.textArea().currentMarks().color == color;
    window_.textArea().mark([&](Marks marks) {
        marks.color = marked ? MarkColor::Black : color;
        return marks;
    });
}

void EditorCommands::BtnRedMarkClick() {
    toggleColor(MarkColor::Red);
}

void EditorCommands::BtnBlueMarkClick() {
    toggleColor(MarkColor::Blue);
}

void EditorCommands::BtnBoldMarkClick() {
    const bool bold = window_.textArea().currentMarks().bold;
    window_.textArea().mark([&](Marks marks) {
        marks.bold = !bold;
        return marks;
    });
}

void EditorCommands::mnuResetTTAClick() {
    if (window_.runs().ask(Command::EditorCommand) != BusyRuns::Answer::Go) return;
    window_.textArea().unmarkAll();
}

void EditorCommands::find(const QString& what, bool forward) {
    if (what.isEmpty()) return;
    RichEditArea* area = &window_.textArea();
    const EditorText& text = area->content();
    const std::optional<std::size_t> found = FindInPieces(
        text.size(), [&text](std::size_t from, std::size_t to) { return text.slice(from, to); },
        utf16(what), area->selectionStart(), area->selectionEnd() - area->selectionStart(),
        forward ? SearchDirection::Forward : SearchDirection::Backward);
    if (found) area->setSelection(*found, *found + static_cast<std::size_t>(what.size()));
}

void EditorCommands::BtnFindPrevClick(const QString& what) {
    find(what, false);
}

void EditorCommands::BtnFindNextClick(const QString& what) {
    find(what, true);
}

void EditorCommands::SBDecodeClick() {
    // Disabled while the main window decodes a file of its own.
    if (!window_.decodeButtonEnabled()) return;
    EditorHost* host = window_.host();
    if (!host) return;
    const auto command = window_.beginCommand();
    if (!command) return;
    LineList lines = LineList::fromShared(window_.textArea().content().share());
    if (lines.empty()) return;

    window_.setDecodeButtonEnabled(false);
    host->setMainDecodeEnabled(false);
    const QString title = QStringLiteral("Editor Data: ") + QString::fromStdString(NowText()) +
                          QLatin1Char('\t') + QStringLiteral("File: ") + window_.docName();
    try {
        host->decodeEditorLines(std::move(lines), title);
    } catch (const std::exception& error) {
        window_.showError(QString::fromLocal8Bit(error.what()));
    }
    window_.setDecodeButtonEnabled(true);
    host->setMainDecodeEnabled(!host->monitoring());
}

}  // namespace zelvar
