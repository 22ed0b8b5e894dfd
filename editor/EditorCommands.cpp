#include "EditorCommands.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <exception>
#include <optional>
#include <string>

#include "DateTime.h"
#include "EditorDialogs.h"
#include "EditorHost.h"
#include "PortSort.h"
#include "ProcessLines.h"
#include "RichEditArea.h"
#include "TextSearch.h"
#include "ZelvarEditor.h"

namespace zelvar {

namespace {

QString fromStd(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The editor window as the core's line commands see it.
class WindowOutput : public TransformOutput {
public:
    // `runs` let the events through; the result is one step to undo,
    // named `command`.
    WindowOutput(TEditorForm& form, BusyRuns& runs, QString command)
        : form_(form), runs_(runs), command_(std::move(command)) {}

    // A long run has thousands of progress steps, and drawing each on a
    // display costs more than the step itself: the panel takes every step's
    // text and is drawn at most every 20 ms, and with the last.
    void setProgressText(std::string_view text) override {
        constexpr qint64 kDrawEveryMs = 20;
        const bool draw = text.empty() || !drawn_.isValid() || drawn_.hasExpired(kDrawEveryMs);
        if (draw) drawn_.start();
        form_.setStatusText(1, fromStd(text), draw);
    }
    void setActivityText(std::string_view text) override { form_.setStatusText(2, fromStd(text)); }
    void processPendingEvents() override { runs_.letEventsThrough(); }
    void clearText() override { replace({}); }
    void runAside(const std::function<void()>& step) override { runs_.runAside(step); }
    // The document shares the lines' text: a conversion's result is its
    // old values as well, held once.
    void showLines(const LineList& lines) override { replace(lines.share()); }

private:
    void replace(SharedText utf8) {
        form_.replaceDocument(std::move(utf8), command_, replaced_);
        replaced_ = true;
    }

    TEditorForm& form_;
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

EditorCommands::EditorCommands(TEditorForm& form) : QObject(&form), form_(form) {}

EditorCommands::~EditorCommands() = default;

void EditorCommands::run(const Transform& transform, const QString& command) {
    const auto running = form_.beginCommand();
    if (!running) return;
    const ReadOnlyArea readOnly(*form_.RichEdit);
    try {
        WindowOutput output(form_, *form_.runs_, command);
        // The text as it stands, shared: the lines are read aside from it
        // and a filter keeps it as its old values.
        SharedLines document(form_.RichEdit->content().share());
        ProcessLines(document, transform, form_.WorkLines, form_.StopFlag, output);
    } catch (const std::exception& error) {
        // No memory for a huge document: the status must not claim a run.
        form_.setStatusText(1, {});
        form_.setStatusText(2, {});
        form_.dialogs().showError(&form_, QString::fromLocal8Bit(error.what()));
    }
}

void EditorCommands::runTransform(TransformMode mode, const QString& command) {
    run(TransformFor(mode), command);
}

void EditorCommands::mnuUserFilterClick() {
    Transform transform;
    try {
        transform = MaskTransform(form_.EditPByte->text().toStdString(),
                                  form_.EditPType->text().toStdString());
    } catch (const InvalidIntegerError& error) {
        form_.dialogs().showError(&form_, QString::fromUtf8(error.what()));
        return;
    }
    run(transform, form_.mnuUserFilter->text());
}

void EditorCommands::mnuUndoFilterClick() {
    const auto command = form_.beginCommand();
    if (!command) return;
    const ReadOnlyArea readOnly(*form_.RichEdit);
    WindowOutput output(form_, *form_.runs_, form_.mnuUndoFilter->text());
    RestoreWorkLines(form_.WorkLines, output);
}

void EditorCommands::SortDatabyPorts1Click() {
    const auto command = form_.beginCommand();
    if (!command) return;
    const ReadOnlyArea readOnly(*form_.RichEdit);
    try {
        WindowOutput output(form_, *form_.runs_, form_.SortDatabyPorts1->text());
        const SharedText text = form_.RichEdit->content().share();
        SortDatabyPorts([&text] { return LineList::fromShared(text); }, form_.WorkLines, output);
    } catch (const std::exception& error) {
        form_.dialogs().showError(&form_, QString::fromLocal8Bit(error.what()));
    }
}

void EditorCommands::toggleColor(MarkColor color) {
    const bool marked = form_.RichEdit->currentMarks().color == color;
    form_.RichEdit->mark([&](Marks marks) {
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
    const bool bold = form_.RichEdit->currentMarks().bold;
    form_.RichEdit->mark([&](Marks marks) {
        marks.bold = !bold;
        return marks;
    });
}

void EditorCommands::mnuResetTTAClick() {
    if (form_.runs_->ask(Command::EditorCommand) != BusyRuns::Answer::Go) return;
    form_.RichEdit->unmarkAll();
}

void EditorCommands::find(bool forward) {
    const QString what = form_.EditFind->text();
    if (what.isEmpty()) return;
    RichEditArea* area = form_.RichEdit;
    const EditorText& text = area->content();
    const std::optional<std::size_t> found = FindInPieces(
        text.size(), [&text](std::size_t from, std::size_t to) { return text.slice(from, to); },
        utf16(what), area->selectionStart(), area->selectionEnd() - area->selectionStart(),
        forward ? SearchDirection::Forward : SearchDirection::Backward);
    if (found) area->setSelection(*found, *found + static_cast<std::size_t>(what.size()));
}

void EditorCommands::BtnFindPrevClick() {
    find(false);
}

void EditorCommands::BtnFindNextClick() {
    find(true);
}

void EditorCommands::SBDecodeClick() {
    // Disabled while the main window decodes a file of its own.
    if (!form_.SBDecode->isEnabled()) return;
    EditorHost* host = form_.host();
    if (!host) return;
    const auto command = form_.beginCommand();
    if (!command) return;
    LineList lines = LineList::fromShared(form_.RichEdit->content().share());
    if (lines.empty()) return;

    form_.SBDecode->setEnabled(false);
    host->setMainDecodeEnabled(false);
    const QString title = QStringLiteral("Editor Data: ") + QString::fromStdString(NowText()) +
                          QLatin1Char('\t') + QStringLiteral("File: ") + form_.DocName;
    try {
        host->decodeEditorLines(std::move(lines), title);
    } catch (const std::exception& error) {
        form_.dialogs().showError(&form_, QString::fromLocal8Bit(error.what()));
    }
    form_.SBDecode->setEnabled(true);
    host->setMainDecodeEnabled(!host->monitoring());
}

}  // namespace zelvar
