#include "ZelvarEditor.h"

#include <QAction>
#include <QCloseEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>
#include <QVBoxLayout>
#include <exception>
#include <utility>

#include "DateTime.h"
#include "DocumentFiles.h"
#include "DocumentText.h"
#include "EditorCommands.h"
#include "EditorDialogs.h"
#include "PlainDocuments.h"
#include "RichEditArea.h"
#include "Rtf.h"
#include "WindowFonts.h"
#include "WindowLook.h"

#include "WindowBounds.h"

namespace {

constexpr int kMinWidth = 850;
constexpr int kMinHeight = 250;
constexpr int kBottomPanelHeight = 36;
constexpr int kMinTextHeight = 30;
constexpr std::array<int, 3> kStatusWidths = {150, 120, 50};
// The longest text each panel shows: positions and line numbers of a
// document of up to 2^32 characters.
const std::array<QStringList, 3> kLongestStatus = {
    QStringList{QStringLiteral(" Selection Length : 4294967295"),
                QStringLiteral(" Cursor Position : 4294967295")},
    QStringList{QStringLiteral(" 4294967295 / 4294967295")},
    QStringList{QStringLiteral(" Processing... "), QStringLiteral(" Loading: no editing")}};
const QString& kNoEditingWhileLoading = kLongestStatus[2][1];

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

using zelvar::addCommand;
using zelvar::addSubmenu;

}  // namespace

TEditorForm::TEditorForm(zelvar::Settings& settings, zelvar::BusyRuns& runs, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint),
      DocName(QStringLiteral("Not Saved")),
      settings_(settings),
      runs_(runs) {
    setObjectName(QStringLiteral("EditorForm"));
    setWindowTitle(QStringLiteral(" Editor"));
    setMinimumSize(kMinWidth, kMinHeight);
    resize(kMinWidth, kMinHeight);
    setAcceptDrops(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    RichEdit = new RichEditArea(this);
    RichEdit->setObjectName(QStringLiteral("RichEdit"));
    RichEdit->setMinimumHeight(kMinTextHeight);
    // A log is Latin letters, digits and Cyrillic in a fixed-pitch font:
    // nothing to shape, and shaping is most of what laying out costs.
    QFont areaFont = zelvar::LogViewFont();
    areaFont.setStyleStrategy(QFont::PreferNoShaping);
    RichEdit->setFont(areaFont);
    RichEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette palette = RichEdit->palette();
    palette.setColor(QPalette::Base, zelvar::EditableLogCream());
    // The selection stays visible while the find field has the focus.
    for (const auto role : {QPalette::Highlight, QPalette::HighlightedText}) {
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    }
    RichEdit->setPalette(palette);
    layout->addWidget(RichEdit, 1);

    auto* bottom = new QWidget(this);
    bottom->setObjectName(QStringLiteral("BottomPanel"));
    bottom->setFixedHeight(kBottomPanelHeight);
    buildBottomPanel(bottom);
    layout->addWidget(bottom);

    buildStatusBar();
    layout->addWidget(EStatusBar);
    buildMenus();
    layout->setMenuBar(MainMenu);

    commands_ = new zelvar::EditorCommands(*this, this);
    connectCommands();
    connect(RichEdit, &RichEditArea::escapePressed, commands_, &zelvar::EditorCommands::stop);
    connect(RichEdit, &RichEditArea::editingRefused, this,
            [this] { setStatusText(2, kNoEditingWhileLoading); });
    connect(RichEdit, &RichEditArea::filesDropped, this, &TEditorForm::filesDropped,
            Qt::QueuedConnection);
    connect(RichEdit, &RichEditArea::selectionChanged, this, &TEditorForm::RichEditSelectionChange);
    connect(EditPType, &QLineEdit::textChanged, this,
            [this](const QString& text) { settings_.PType = text.toStdString(); });
    connect(EditPByte, &QLineEdit::textChanged, this,
            [this](const QString& text) { settings_.PByte = text.toStdString(); });
    RichEditSelectionChange();
}

TEditorForm::~TEditorForm() = default;

void TEditorForm::buildStatusBar() {
    EStatusBar = new QWidget(this);
    EStatusBar->setObjectName(QStringLiteral("EStatusBar"));
    auto* row = new QHBoxLayout(EStatusBar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    for (std::size_t i = 0; i < statusPanels_.size(); ++i) {
        auto* panel = new QLabel(EStatusBar);
        zelvar::SetUpStatusPanel(*panel, kStatusWidths[i], kLongestStatus[i]);
        statusPanels_[i] = panel;
        row->addWidget(panel);
    }
    row->addStretch(1);
}

void TEditorForm::buildMenus() {
    MainMenu = new QMenuBar(this);
    MainMenu->setObjectName(QStringLiteral("MainMenu"));
    // "&" marks the Alt key of each menu; it is not shown as text.
    mnuFile = MainMenu->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuOpenRtf = addCommand(mnuFile, "mnuOpenRtf", QStringLiteral("Open..."),
                            QKeySequence(Qt::CTRL | Qt::Key_O));
    mnuFile->addSeparator();
    mnuSave =
        addCommand(mnuFile, "mnuSave", QStringLiteral("Save"), QKeySequence(Qt::CTRL | Qt::Key_S));
    mnuSave->setEnabled(false);
    mnuFile->addSeparator();
    mnuSaveRtf = addCommand(mnuFile, "mnuSaveRtf", QStringLiteral("Save As..."));

    mnuOptions = MainMenu->addMenu(QStringLiteral("&Options"));
    mnuOptions->setObjectName(QStringLiteral("mnuOptions"));
    mnuClearAll = addCommand(mnuOptions, "mnuClearAll", QStringLiteral("Clear Data Fields..."));
    mnuOptions->addSeparator();
    mnuRemove = addSubmenu(mnuOptions, "mnuRemove", QStringLiteral("Remove From the Text"));
    mnuResetTTA = addCommand(mnuRemove, "mnuResetTTA", QStringLiteral("All Markers..."));
    mnuRemove->addSeparator();
    mnuClearTime = addCommand(mnuRemove, "mnuClearTime", QStringLiteral("Port / Date / Time..."));
    mnuRemove->addSeparator();
    mnuClear16 =
        addCommand(mnuRemove, "mnuClear16", QStringLiteral("Strings is Shorter Than 16-bit..."));
    mnuRemove->addSeparator();
    mnuClear32 = addCommand(mnuRemove, "mnuClear32", QStringLiteral("Short Strings..."));
    mnuRemove->addSeparator();
    mnuClearSpace = addCommand(mnuRemove, "mnuClearSpace", QStringLiteral("Spaces..."));
    mnuOptions->addSeparator();
    mnuFilter = addSubmenu(mnuOptions, "mnuFilter", QStringLiteral("Packet Filter"));
    mnuF0B05 = addCommand(mnuFilter, "mnuF0B05", QStringLiteral("Packets \"0B\" and \"05\"..."));
    mnuFilter->addSeparator();
    mnuUserFilter =
        addCommand(mnuFilter, "mnuUserFilter", QStringLiteral("By Mask Value / Bit..."));
    mnuFilter->addSeparator();
    mnuUndoFilter =
        addCommand(mnuFilter, "mnuUndoFilter", QStringLiteral("Return to the Old Values..."));
    mnuOptions->addSeparator();
    mnuConverter = addSubmenu(mnuOptions, "mnuConverter", QStringLiteral("Converter"));
    mnuHexToByte = addCommand(mnuConverter, "mnuHexToByte", QStringLiteral("Hex_to_Byte..."));
    mnuConverter->addSeparator();
    mnuByteToHex = addCommand(mnuConverter, "mnuByteToHex", QStringLiteral("Byte_to_Hex..."));
    mnuOptions->addSeparator();
    SortDatabyPorts1 =
        addCommand(mnuOptions, "SortDatabyPorts1", QStringLiteral("Sort Data by Ports..."));
    mnuOptions->addSeparator();
    mnuAddSpace =
        addCommand(mnuOptions, "mnuAddSpace", QStringLiteral("Divide the Text of the Spaces..."));

    connect(mnuOpenRtf, &QAction::triggered, this, &TEditorForm::mnuOpenRtfClick);
    connect(mnuSave, &QAction::triggered, this, &TEditorForm::mnuSaveClick);
    connect(mnuSaveRtf, &QAction::triggered, this, &TEditorForm::mnuSaveRtfClick);
    connect(mnuClearAll, &QAction::triggered, this, &TEditorForm::mnuClearAllClick);

    // The context menu's captions carry their keys; the text area's own key
    // handling provides them.
    RichEditMenu = new QMenu(this);
    RichEditMenu->setObjectName(QStringLiteral("RichEditMenu"));
    RichEditMenu->setToolTipsVisible(true);
    mnuEUndo = addCommand(RichEditMenu, "mnuEUndo", QStringLiteral("Отменить           Ctrl+Z"));
    RichEditMenu->addSeparator();
    mnuERedo = addCommand(RichEditMenu, "mnuERedo", QStringLiteral("Повторить          Ctrl+Y"));
    RichEditMenu->addSeparator();
    mnuECut = addCommand(RichEditMenu, "mnuECut", QStringLiteral("Вырезать           Ctrl+X"));
    RichEditMenu->addSeparator();
    mnuECopy = addCommand(RichEditMenu, "mnuECopy", QStringLiteral("Копировать       Ctrl+C"));
    RichEditMenu->addSeparator();
    mnuEPaste = addCommand(RichEditMenu, "mnuEPaste", QStringLiteral("Вставить            Ctrl+V"));
    RichEditMenu->addSeparator();
    nmuESelAll = addCommand(RichEditMenu, "nmuESelAll", QStringLiteral("Выделить все    Ctrl+A"));
    connect(mnuEUndo, &QAction::triggered, this, &TEditorForm::mnuEUndoClick);
    connect(mnuERedo, &QAction::triggered, this, &TEditorForm::mnuERedoClick);
    connect(mnuECut, &QAction::triggered, RichEdit, &RichEditArea::cut);
    connect(mnuECopy, &QAction::triggered, RichEdit, &RichEditArea::copy);
    connect(mnuEPaste, &QAction::triggered, RichEdit, &RichEditArea::paste);
    connect(nmuESelAll, &QAction::triggered, RichEdit, &RichEditArea::selectAll);
    RichEdit->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(RichEdit, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        RichEditMenu->popup(RichEdit->viewport()->mapToGlobal(at));
    });
}

void TEditorForm::applyWindowSettings() {
    if (settings_.ewMaximized) {
        setWindowState(windowState() | Qt::WindowMaximized);
        return;
    }
    zelvar::RestoreWindowBounds(
        *this, {settings_.eLeft, settings_.eTop, settings_.eWidth, settings_.eHeight});
}

void TEditorForm::storeWindowSettings() {
    settings_.ewMaximized = isMaximized();
    if (settings_.ewMaximized) return;
    const zelvar::WindowRect bounds = zelvar::StoredWindowBounds(*this);
    settings_.eWidth = bounds.width;
    settings_.eHeight = bounds.height;
    settings_.eTop = bounds.top;
    settings_.eLeft = bounds.left;
}

void TEditorForm::applyFieldSettings() {
    // Copies first: setting one field writes its text back into the settings.
    const QString type = QString::fromStdString(settings_.PType);
    const QString byte = QString::fromStdString(settings_.PByte);
    EditPType->setText(type);
    EditPByte->setText(byte);
}

zelvar::EditorDialogs& TEditorForm::dialogs() {
    if (dialogs_) return *dialogs_;
    if (!ownDialogs_) ownDialogs_ = std::make_unique<zelvar::EditorWidgetDialogs>();
    return *ownDialogs_;
}

std::optional<zelvar::BusyRuns::Run> TEditorForm::beginCommand() {
    return runs_.tryBegin(zelvar::Command::EditorCommand, zelvar::RunKind::EditorCommand,
                          [this] { commands_->stop(); });
}

void TEditorForm::setVisible(bool visible) {
    if (visible) {
        // Shown again before a hide asked for during a command took effect.
        runs_.withdraw(zelvar::Command::HideEditor);
    } else if (runs_.ask(zelvar::Command::HideEditor, [this] { hide(); }) ==
               zelvar::BusyRuns::Answer::Deferred) {
        return;
    }
    QWidget::setVisible(visible);
}

void TEditorForm::connectCommands() {
    using zelvar::EditorCommands;
    using zelvar::TransformMode;
    EditorCommands* commands = commands_;
    const auto mode = [commands](QAction* action, TransformMode transform) {
        connect(action, &QAction::triggered, commands, [commands, action, transform] {
            commands->runTransform(transform, action->text());
        });
    };
    mode(mnuClearTime, TransformMode::PortDateTime);
    mode(mnuClearSpace, TransformMode::Spaces);
    mode(mnuAddSpace, TransformMode::DivideSpaces);
    mode(mnuHexToByte, TransformMode::HexToByte);
    mode(mnuByteToHex, TransformMode::ByteToHex);
    mode(mnuClear16, TransformMode::Shorter16);
    mode(mnuF0B05, TransformMode::Packets0B05);
    mode(mnuClear32, TransformMode::ShortStrings);
    connect(mnuUserFilter, &QAction::triggered, commands, [this, commands] {
        commands->mnuUserFilterClick(EditPByte->text(), EditPType->text(), mnuUserFilter->text());
    });
    connect(mnuUndoFilter, &QAction::triggered, commands,
            [this, commands] { commands->mnuUndoFilterClick(mnuUndoFilter->text()); });
    connect(SortDatabyPorts1, &QAction::triggered, commands,
            [this, commands] { commands->SortDatabyPorts1Click(SortDatabyPorts1->text()); });
    connect(mnuResetTTA, &QAction::triggered, commands, &EditorCommands::mnuResetTTAClick);
    connect(BtnRedMark, &QToolButton::clicked, commands, &EditorCommands::BtnRedMarkClick);
    connect(BtnBlueMark, &QToolButton::clicked, commands, &EditorCommands::BtnBlueMarkClick);
    connect(BtnBoldMark, &QToolButton::clicked, commands, &EditorCommands::BtnBoldMarkClick);
    connect(BtnFindPrev, &QToolButton::clicked, commands,
            [this, commands] { commands->BtnFindPrevClick(EditFind->text()); });
    connect(BtnFindNext, &QToolButton::clicked, commands,
            [this, commands] { commands->BtnFindNextClick(EditFind->text()); });
    connect(SBDecode, &QPushButton::clicked, commands, &EditorCommands::SBDecodeClick);
}

QString TEditorForm::statusText(int panel) const {
    return statusPanels_.at(static_cast<std::size_t>(panel))->text();
}

void TEditorForm::setStatusText(int panel, const QString& text, bool draw) {
    QLabel* label = statusPanels_.at(static_cast<std::size_t>(panel));
    // Enabled again, the panel draws the text it has by then.
    label->setUpdatesEnabled(draw);
    label->setText(text);
}

void TEditorForm::mnuEUndoClick() {
    if (runs_.ask(zelvar::Command::EditorCommand) == zelvar::BusyRuns::Answer::Go)
        RichEdit->undo();
}

void TEditorForm::mnuERedoClick() {
    if (runs_.ask(zelvar::Command::EditorCommand) == zelvar::BusyRuns::Answer::Go)
        RichEdit->redo();
}

void TEditorForm::updateUndoItems() {
    const zelvar::EditorText& text = RichEdit->content();
    const auto hint = [](std::string_view command) {
        return command.empty() ? QStringLiteral("Правка текста") : fromUtf8(command);
    };
    mnuEUndo->setEnabled(text.canUndo());
    mnuEUndo->setToolTip(hint(text.undoName()));
    mnuERedo->setEnabled(text.canRedo());
    mnuERedo->setToolTip(hint(text.redoName()));
}

void TEditorForm::RichEditSelectionChange() {
    updateUndoItems();
    if (RichEdit->hasSelection()) {
        setStatusText(0, QStringLiteral(" Selection Length : ") +
                             QString::number(RichEdit->selectionEnd() - RichEdit->selectionStart()));
    } else {
        setStatusText(0, QStringLiteral(" Cursor Position : ") +
                             QString::number(RichEdit->position()));
    }
}

zelvar::RichText TEditorForm::document() const {
    return RichEdit->content().richText();
}

void TEditorForm::setDocument(zelvar::RichText text) {
    zelvar::EditorText prepared;
    runs_.runAside([&] { prepared.assign(std::move(text)); });
    RichEdit->setContent(std::move(prepared));
}

void TEditorForm::setPlainDocument(const QString& text) {
    zelvar::EditorText prepared;
    runs_.runAside([&] { prepared.assign(zelvar::PlainDocument(text)); });
    RichEdit->setContent(std::move(prepared));
}

void TEditorForm::replaceDocument(zelvar::SharedText utf8, const QString& command, bool join) {
    zelvar::EditorText prepared;
    if (utf8 && !utf8->empty()) runs_.runAside([&] { prepared.assignUtf8(std::move(utf8)); });
    RichEdit->replaceAll(std::move(prepared), command.toStdString(), join);
}

QString TEditorForm::plainText() const {
    const std::string_view text = RichEdit->content().utf8();
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QStringList TEditorForm::lines() const {
    // Line by line: the whole text is not copied once more on the way.
    const zelvar::EditorText& text = RichEdit->content();
    if (text.empty()) return {};
    const std::size_t count = text.lineCount() - (text.utf8().back() == '\n' ? 1 : 0);
    QStringList split;
    split.reserve(static_cast<qsizetype>(count));
    for (std::size_t i = 0; i < count; ++i) {
        const std::u16string line = text.line(i);
        split << QString::fromUtf16(line.data(), static_cast<qsizetype>(line.size()));
    }
    return split;
}

void TEditorForm::setCaptionForDocument() {
    setWindowTitle(QStringLiteral(" Editor - ") + DocName);
}

// The text area loads a document while it lives; then the keys that waited
// take effect and the note of refused ones goes.
class TEditorForm::LoadingArea {
public:
    explicit LoadingArea(TEditorForm& form) : form_(form) { form_.RichEdit->setLoading(true); }
    ~LoadingArea() {
        form_.RichEdit->setLoading(false);
        if (form_.statusText(2) == kNoEditingWhileLoading) form_.setStatusText(2, {});
    }
    LoadingArea(const LoadingArea&) = delete;
    LoadingArea& operator=(const LoadingArea&) = delete;

private:
    TEditorForm& form_;
};

void TEditorForm::mnuOpenRtfClick() {
    QString path;
    {
        // From the dialog on: a drop or a transform must not change the
        // document while the operator chooses.
        const auto command = beginCommand();
        if (!command) return;
        path = dialogs().openDocument(this);
    }
    if (!path.isEmpty()) openDocument(path);
}

void TEditorForm::filesDropped(const QStringList& paths) {
    const QString path = zelvar::DroppedDocument(paths);
    if (!path.isEmpty()) openDocument(path);
}

bool TEditorForm::openDocument(const QString& path) {
    const auto command = beginCommand();
    if (!command) return false;
    QString failure;
    try {
        const LoadingArea loading(*this);
        // Made ready in full first: a file that cannot be read, or no memory
        // for it, leaves the document as it was. A plain UTF-8 file becomes
        // the document's text as it was read.
        zelvar::EditorText prepared;
        runs_.runAside([&] {
            std::string bytes = zelvar::ReadDocumentFile(path);
            if (zelvar::PlainUtf8Text(bytes)) {
                prepared.assignUtf8(std::make_shared<std::string>(std::move(bytes)));
            } else {
                prepared.assign(zelvar::ReadDocumentBytes(bytes));
            }
        });
        // No marks of the previous document carry over; the emptied area is
        // drawn before the new text goes in.
        RichEdit->clear();
        runs_.letEventsThrough();
        RichEdit->setContent(std::move(prepared));
    } catch (const zelvar::DocumentFileError& error) {
        failure = error.text();
    } catch (const std::exception& error) {
        failure = QString::fromLocal8Bit(error.what());
    }
    if (!failure.isEmpty()) {
        // Its box is part of the run: a drop or a transform waits for it.
        dialogs().showError(this, failure);
        return false;
    }
    DocPath = path;
    DocName = QFileInfo(path).fileName();
    setCaptionForDocument();
    mnuSave->setEnabled(true);
    return true;
}

void TEditorForm::writeDocument(const QString& path) {
    // From the text area's own text: a day's log is not copied on its way.
    const zelvar::EditorText& content = RichEdit->content();
    const std::string bytes = zelvar::WriteRtf(content.utf8(), content.size(), content.markRuns());
    zelvar::WriteDocumentFile(
        path, QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

void TEditorForm::mnuSaveClick() {
    if (!mnuSave->isEnabled() || DocPath.isEmpty()) return;
    const auto command = beginCommand();
    if (command) saveToDocPath();
}

void TEditorForm::saveToDocPath() {
    try {
        writeDocument(DocPath);
        setCaptionForDocument();
    } catch (const zelvar::DocumentFileError& error) {
        dialogs().showError(this, error.text());
    } catch (const std::exception& error) {
        // No memory for the file's bytes: the slot must not pass it on.
        dialogs().showError(this, QString::fromLocal8Bit(error.what()));
    }
}

void TEditorForm::mnuSaveRtfClick() {
    if (RichEdit->content().empty()) return;
    const auto command = beginCommand();
    if (!command) return;
    const QString path =
        dialogs().saveDocumentAs(this, QString::fromStdString(zelvar::FileNameStamp()));
    if (!path.isEmpty()) {
        DocPath = path;
        DocName = QFileInfo(path).fileName();
        saveToDocPath();
    }
}

void TEditorForm::mnuClearAllClick() {
    if (runs_.ask(zelvar::Command::EditorCommand) != zelvar::BusyRuns::Answer::Go) return;
    RichEdit->replaceAll({}, mnuClearAll->text().toStdString());
}

void TEditorForm::onVisibilityChanged(QObject* context,
                                      std::function<void(bool visible)> listener) {
    connect(this, &TEditorForm::visibilityChanged, context, std::move(listener));
}

void TEditorForm::setDecodeButtonEnabled(bool enabled) {
    SBDecode->setEnabled(enabled);
}

bool TEditorForm::decodeButtonEnabled() const {
    return SBDecode->isEnabled();
}

void TEditorForm::showError(const QString& message) {
    dialogs().showError(this, message);
}

bool TEditorForm::stopAsked() const {
    return commands_->stopAsked();
}

bool TEditorForm::workLinesEmpty() const {
    return commands_->workLinesEmpty();
}

void TEditorForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Minimising and restoring reach us as spontaneous events; only a real
    // show counts as opening the editor.
    if (event->spontaneous()) return;
    settings_.Editor = true;
    emit visibilityChanged(true);
}

void TEditorForm::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (event->spontaneous()) return;
    settings_.Editor = false;
    emit visibilityChanged(false);
}

void TEditorForm::closeEvent(QCloseEvent* event) {
    if (runs_.ask(zelvar::Command::HideEditor, [this] { hide(); }) ==
        zelvar::BusyRuns::Answer::Deferred) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void TEditorForm::dragEnterEvent(QDragEnterEvent* event) {
    if (!DraggedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TEditorForm::dropEvent(QDropEvent* event) {
    const QStringList paths = DraggedFiles(event->mimeData());
    if (paths.isEmpty()) return;
    event->acceptProposedAction();
    // The drop completes first; the document opens once the drag is over.
    QMetaObject::invokeMethod(
        this, [this, paths] { filesDropped(paths); }, Qt::QueuedConnection);
}
