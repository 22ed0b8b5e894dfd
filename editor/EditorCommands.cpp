#include "EditorCommands.h"

#include <QLineEdit>
#include <QPushButton>
#include <exception>
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
    // `runs` let the events through.
    WindowOutput(TEditorForm& form, BusyRuns& runs) : form_(form), runs_(runs) {}

    void setProgressText(std::string_view text) override { form_.setStatusText(1, fromStd(text)); }
    void setActivityText(std::string_view text) override { form_.setStatusText(2, fromStd(text)); }
    void processPendingEvents() override { runs_.letEventsThrough(); }
    void clearText() override { form_.clearDocument(); }
    void showLines(const LineList& lines) override { form_.setPlainDocument(fromStd(lines.text())); }

private:
    TEditorForm& form_;
    BusyRuns& runs_;
};

std::u16string_view utf16(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

}  // namespace

EditorCommands::EditorCommands(TEditorForm& form) : QObject(&form), form_(form) {}

EditorCommands::~EditorCommands() = default;

void EditorCommands::run(const Transform& transform) {
    const auto command = form_.beginCommand();
    if (!command) return;
    // Typing meanwhile would be lost when the result replaces the text.
    form_.RichEdit->setReadOnly(true);
    try {
        WindowOutput output(form_, *form_.runs_);
        ProcessLines(form_.utf8Text(), transform, form_.WorkLines, form_.StopFlag,
                     output);
    } catch (const std::exception& error) {
        // No memory for a huge document: the status must not claim a run.
        form_.setStatusText(1, {});
        form_.setStatusText(2, {});
        form_.dialogs().showError(&form_, QString::fromLocal8Bit(error.what()));
    }
    form_.RichEdit->setReadOnly(false);
}

void EditorCommands::runTransform(TransformMode mode) {
    run(TransformFor(mode));
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
    run(transform);
}

void EditorCommands::mnuUndoFilterClick() {
    const auto command = form_.beginCommand();
    if (!command) return;
    WindowOutput output(form_, *form_.runs_);
    RestoreWorkLines(form_.WorkLines, output);
}

void EditorCommands::SortDatabyPorts1Click() {
    const auto command = form_.beginCommand();
    if (!command) return;
    try {
        WindowOutput output(form_, *form_.runs_);
        SortDatabyPorts(form_.utf8Text(), form_.WorkLines, output);
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
    const std::optional<std::size_t> found =
        FindInText(area->content().text(), utf16(what), area->selectionStart(),
                   area->selectionEnd() - area->selectionStart(),
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
    const QStringList lines = form_.lines();
    if (lines.isEmpty()) return;

    form_.SBDecode->setEnabled(false);
    host->setMainDecodeEnabled(false);
    const QString title = QStringLiteral("Editor Data: ") + QString::fromStdString(NowText()) +
                          QLatin1Char('\t') + QStringLiteral("File: ") + form_.DocName;
    try {
        host->decodeEditorLines(lines, title);
    } catch (const std::exception& error) {
        form_.dialogs().showError(&form_, QString::fromLocal8Bit(error.what()));
    }
    form_.SBDecode->setEnabled(true);
    host->setMainDecodeEnabled(!host->monitoring());
}

}  // namespace zelvar
