#include "EditorCommands.h"

#include <QAbstractTextDocumentLayout>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocument>
#include <exception>
#include <string>

#include "DateTime.h"
#include "EditorDialogs.h"
#include "EditorHost.h"
#include "PortSort.h"
#include "ProcessLines.h"
#include "RichEditArea.h"
#include "TextSearch.h"
#include "UpperCase.h"
#include "ZelvarEditor.h"

namespace zelvar {

namespace {

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kBlack(0, 0, 0);

QString fromStd(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Holds off the background layout of the text being replaced: a long log
// would otherwise be laid out step by step at every progress step of a run
// that throws the layout away at its end.
class LayoutPause : public QObject {
public:
    explicit LayoutPause(QTextDocument* document)
        : layout_(document ? document->documentLayout() : nullptr) {
        if (layout_) layout_->installEventFilter(this);
    }
    ~LayoutPause() override {
        if (layout_) layout_->removeEventFilter(this);
    }
    LayoutPause(const LayoutPause&) = delete;
    LayoutPause& operator=(const LayoutPause&) = delete;

    bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::Timer; }

private:
    QPointer<QAbstractTextDocumentLayout> layout_;
};

// The editor window as the core's line commands see it.
class WindowOutput : public TransformOutput {
public:
    // `document` is the one the text area shows; `runs` let the events through.
    WindowOutput(TEditorForm& form, BusyRuns& runs, QTextDocument* document)
        : form_(form), runs_(runs), pause_(document) {}

    void setProgressText(std::string_view text) override { form_.setStatusText(1, fromStd(text)); }
    void setActivityText(std::string_view text) override { form_.setStatusText(2, fromStd(text)); }
    void processPendingEvents() override { runs_.letEventsThrough(); }
    void clearText() override { form_.clearDocument(); }
    void showLines(const LineList& lines) override { form_.setPlainDocument(fromStd(lines.text())); }

private:
    TEditorForm& form_;
    BusyRuns& runs_;
    LayoutPause pause_;
};

// Marks over more characters than this are made with the text area's layout
// held off: merging a format into a long stretch of a laid-out text lays all
// of it out again at once.
constexpr int kLongChange = 1 << 16;

std::u16string_view utf16(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

}  // namespace

EditorCommands::EditorCommands(TEditorForm& form) : QObject(&form), form_(form) {
    watchDocument();
}

void EditorCommands::watchDocument() {
    disconnect(watched_);
    watched_ = connect(form_.RichEdit->document(), &QTextDocument::contentsChange, this,
                       &EditorCommands::contentsChange);
}

void EditorCommands::documentReplaced(std::u16string_view text) {
    watchDocument();
    search_.reset();
    try {
        search_ = std::make_unique<SearchText>(text);
    } catch (const std::exception&) {
        // No room for it now: the first press prepares it.
    }
}

void EditorCommands::contentsChange(int position, int removed, int added) {
    if (!search_) return;
    // A mark changes formats alone and leaves the text, and with it the
    // prepared one, as it was; only a change of the text itself drops it.
    constexpr int kCompareLimit = 1 << 20;
    if (removed == added && added <= kCompareLimit && position >= 0 &&
        static_cast<std::size_t>(position) + static_cast<std::size_t>(added) <= search_->size()) {
        QTextCursor cursor(form_.RichEdit->document());
        cursor.setPosition(position);
        cursor.setPosition(position + added, QTextCursor::KeepAnchor);
        QString now = cursor.selectedText();
        now.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
        if (now.size() == added &&
            UpperText(utf16(now)) ==
                search_->upper().substr(static_cast<std::size_t>(position),
                                        static_cast<std::size_t>(added))) {
            return;
        }
    }
    search_.reset();
}

EditorCommands::~EditorCommands() = default;

void EditorCommands::run(const Transform& transform) {
    const auto command = form_.beginCommand();
    if (!command) return;
    // Typing meanwhile would be lost when the result replaces the text.
    form_.RichEdit->setReadOnly(true);
    try {
        WindowOutput output(form_, *form_.runs_, form_.RichEdit->document());
        ProcessLines(form_.plainText().toStdString(), transform, form_.WorkLines, form_.StopFlag,
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
    WindowOutput output(form_, *form_.runs_, form_.RichEdit->document());
    RestoreWorkLines(form_.WorkLines, output);
}

void EditorCommands::SortDatabyPorts1Click() {
    const auto command = form_.beginCommand();
    if (!command) return;
    try {
        WindowOutput output(form_, *form_.runs_, form_.RichEdit->document());
        SortDatabyPorts(form_.plainText().toStdString(), form_.WorkLines, output);
    } catch (const std::exception& error) {
        form_.dialogs().showError(&form_, QString::fromLocal8Bit(error.what()));
    }
}

QTextCharFormat EditorCommands::selectionFormat() const {
    QTextCursor cursor = form_.RichEdit->textCursor();
    if (!cursor.hasSelection()) return form_.RichEdit->currentCharFormat();
    // A selection of mixed marks goes by its first character.
    cursor.setPosition(cursor.selectionStart());
    cursor.movePosition(QTextCursor::NextCharacter);
    return cursor.charFormat();
}

void EditorCommands::toggleColor(const QColor& color) {
    const QTextCharFormat current = selectionFormat();
    const bool marked = current.hasProperty(QTextFormat::ForegroundBrush) &&
                        current.foreground().style() != Qt::NoBrush &&
                        current.foreground().color().rgb() == color.rgb();
    QTextCharFormat change;
    change.setForeground(marked ? kBlack : color);
    mark(change);
}

void EditorCommands::mark(const QTextCharFormat& change) {
    RichEditArea* area = form_.RichEdit;
    const QTextCursor cursor = area->textCursor();
    if (cursor.selectionEnd() - cursor.selectionStart() <= kLongChange) {
        area->mergeCurrentCharFormat(change);
        return;
    }
    // Marks leave the text, and so its prepared form, as it was.
    std::unique_ptr<SearchText> search = std::move(search_);
    area->withoutLayout([&] { area->mergeCurrentCharFormat(change); });
    search_ = std::move(search);
}

void EditorCommands::BtnRedMarkClick() {
    toggleColor(kRed);
}

void EditorCommands::BtnBlueMarkClick() {
    toggleColor(kBlue);
}

void EditorCommands::BtnBoldMarkClick() {
    const QTextCharFormat current = selectionFormat();
    const bool exactlyBold = current.fontWeight() >= QFont::Bold && !current.fontItalic() &&
                             !current.fontUnderline() && !current.fontStrikeOut();
    QTextCharFormat change;
    change.setFontWeight(exactlyBold ? QFont::Normal : QFont::Bold);
    change.setFontItalic(false);
    change.setFontUnderline(false);
    change.setFontStrikeOut(false);
    mark(change);
}

void EditorCommands::mnuResetTTAClick() {
    if (form_.runs_->ask(Command::EditorCommand) != BusyRuns::Answer::Go) return;
    // The text stays as it is, and so does its prepared form.
    std::unique_ptr<SearchText> search = std::move(search_);
    QTextCursor cursor(form_.RichEdit->document());
    const auto unmark = [&] {
        cursor.select(QTextCursor::Document);
        cursor.setCharFormat(form_.DefaultAttributes);
    };
    if (form_.RichEdit->document()->characterCount() > kLongChange) {
        // The view goes to the start first, where the fresh layout begins.
        form_.RichEdit->moveCursor(QTextCursor::Start);
        form_.RichEdit->withoutLayout(unmark);
    } else {
        unmark();
    }
    search_ = std::move(search);
    // A fresh cursor at the start: moving one from the end would lay the
    // text out up to there.
    form_.RichEdit->setTextCursor(QTextCursor(form_.RichEdit->document()));
    form_.RichEdit->setCurrentCharFormat(form_.DefaultAttributes);
}

void EditorCommands::find(bool forward) {
    const QString what = form_.EditFind->text();
    if (what.isEmpty()) return;
    if (!search_) search_ = std::make_unique<SearchText>(utf16(form_.plainText()));
    QTextCursor cursor = form_.RichEdit->textCursor();
    const auto start = static_cast<std::size_t>(cursor.selectionStart());
    const auto length = static_cast<std::size_t>(cursor.selectionEnd() - cursor.selectionStart());
    const std::optional<std::size_t> found = search_->find(
        utf16(what), start, length, forward ? SearchDirection::Forward : SearchDirection::Backward);
    if (!found) return;
    cursor.setPosition(static_cast<int>(*found));
    cursor.setPosition(static_cast<int>(*found) + static_cast<int>(what.size()),
                       QTextCursor::KeepAnchor);
    form_.RichEdit->setTextCursor(cursor);
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
