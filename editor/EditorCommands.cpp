#include "EditorCommands.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <exception>
#include <optional>
#include <string>

#include "DateTime.h"
#include "EditorHost.h"
#include "PlainDocuments.h"
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
    // `runs` let the events through; the result is one step to undo,
    // named `command`; a filter's result takes no more than `documentUnits`.
    WindowOutput(EditorCommandHost& window, QString command, std::size_t documentUnits = 0)
        : window_(window), runs_(window.runs()), command_(std::move(command)),
          documentUnits_(documentUnits) {}

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
    void showLines(const LineList& lines) override { replace(lines.text()); }
    // A filter's lines go straight into the document to show, which takes
    // no more than the text it is made of.
    void resultLine(std::string_view line) override {
        if (!result_) result_.emplace(documentUnits_);
        result_->append(line);
    }
    void showResult() override {
        window_.replaceDocument(result_ ? result_->take() : RichText{}, command_, replaced_);
        replaced_ = true;
        result_.reset();
    }

private:
    void replace(std::string_view utf8) {
        window_.replaceDocument(utf8, command_, replaced_);
        replaced_ = true;
    }

    EditorCommandHost& window_;
    BusyRuns& runs_;
    const QString command_;
    const std::size_t documentUnits_;
    bool replaced_ = false;
    QElapsedTimer drawn_;
    std::optional<Utf8DocumentLines> result_;
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
    if (!running) return;
    const ReadOnlyArea readOnly(window_.textArea());
    try {
        // A '\n' after the last line is the most a filter adds.
        WindowOutput output(window_, command, window_.textArea().content().size() + 1);
        // Read in place: the text area takes no change while the run goes on.
        Utf8Lines document(window_.textArea().content().text());
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
    Transform transform;
    try {
        transform = MaskTransform(byte.toStdString(), type.toStdString());
    } catch (const InvalidIntegerError& error) {
        window_.showError(QString::fromUtf8(error.what()));
        return;
    }
    run(transform, command);
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
        SortDatabyPorts([this] { return window_.utf8Text(); }, WorkLines, output);
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
    const std::optional<std::size_t> found =
        FindInText(area->content().text(), utf16(what), area->selectionStart(),
                   area->selectionEnd() - area->selectionStart(),
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
    const QStringList lines = window_.lines();
    if (lines.isEmpty()) return;

    window_.setDecodeButtonEnabled(false);
    host->setMainDecodeEnabled(false);
    const QString title = QStringLiteral("Editor Data: ") + QString::fromStdString(NowText()) +
                          QLatin1Char('\t') + QStringLiteral("File: ") + window_.docName();
    try {
        host->decodeEditorLines(lines, title);
    } catch (const std::exception& error) {
        window_.showError(QString::fromLocal8Bit(error.what()));
    }
    window_.setDecodeButtonEnabled(true);
    host->setMainDecodeEnabled(!host->monitoring());
}

}  // namespace zelvar
