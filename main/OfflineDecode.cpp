// File > Decode: a saved log through the offline decoder into the views.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <exception>

#include "LogFile.h"
#include "LogLineReader.h"
#include "UserDialogs.h"
#include "ZelvarEditor.h"
#include "ZelvarMain.h"
#include "ZelvarOptions.h"

namespace {

// How often the decoding lets window events run: often enough for Esc and
// the progress to feel immediate, rarely enough to cost nothing measurable.
constexpr qint64 kEventIntervalMs = 20;
constexpr unsigned kLinesPerClockCheck = 64;

// Reads a log's lines block by block with the decoder core's reader, the one
// zelvar-decode uses, into a list no larger than the file. Throws
// LogFileError.
void readLogLines(const QString& path, zelvar::InputLineList& lines) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        throw zelvar::LogFileError(QStringLiteral("Cannot open file \"%1\". %2")
                                       .arg(QDir::toNativeSeparators(path), file.errorString()));
    }
    lines.clear();
    lines.reserve(static_cast<std::size_t>(file.size()) + 1);
    try {
        zelvar::LogLineReader reader(file.handle());
        std::string_view line;
        while (reader.next(line)) lines.append(line);
    } catch (const std::exception& error) {
        // A read error, or no memory for a huge log: the input stays empty.
        lines.clear();
        throw zelvar::LogFileError(
            QStringLiteral("Cannot read file \"%1\". %2")
                .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(error.what())));
    }
}

}  // namespace

void TMainForm::mnuDecodeClick() {
    // The running decoding still reads its input list; a second one would
    // replace it under its feet.
    if (!offline_.DecoderIdle || commandHold_.held()) return;
    const QString path = dialogs().openLogFile(this);
    if (path.isEmpty()) return;

    try {
        readLogLines(path, offline_.OfflineInputLines);
    } catch (const zelvar::LogFileError& error) {
        dialogs().showError(this, error.text());
        return;
    }
    if (offline_.OfflineInputLines.empty()) return;
    decodeOfflineInput(QStringLiteral("File: ") + QFileInfo(path).fileName());
}

void TMainForm::decodeOfflineInput(const QString& title) {
    if (!offline_.DecoderIdle || commandHold_.held()) return;
    decoder_.ResetPortState();
    if (options_) options_->hide();
    if (editor_) editor_->SBDecode->setEnabled(false);
    // Busy already while the changes above are drawn: the events run here
    // could otherwise start a second decoding or close the window under it.
    offline_.DecoderIdle = false;
    // A stop asked for (Esc, "Start Monitoring") while these events run holds
    // for this decoding, not for some earlier one.
    offline_.AbortDecoding = false;
    QCoreApplication::processEvents();

    sinceEvents_.restart();
    try {
        if (closeAfterDecoding_ || offline_.AbortDecoding) {
            offline_.OfflineInputLines.clear();
            offline_.DecoderIdle = true;
        } else {
            offline_.DecodeLogLines(title.toStdString());
        }
    } catch (const std::exception& error) {
        // Out of memory on a huge log, most likely: the views keep what they
        // had, and the program stays usable.
        offline_.DecoderIdle = true;
        offline_.OfflineInputLines.clear();
        decoder_.DecodedTextLines.clear();
        decoder_.DecodedHexLines.clear();
        setProgressText("");
        dialogs().showError(this, QString::fromLocal8Bit(error.what()));
    }
    if (editor_) editor_->SBDecode->setEnabled(true);
    flushLogViews();

    if (closeAfterDecoding_) {
        // The window was asked to close while the decoding ran; now it can.
        closeAfterDecoding_ = false;
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

void TMainForm::decodeEditorLines(const QStringList& lines, const QString& title) {
    if (!offline_.DecoderIdle) return;
    offline_.OfflineInputLines.clear();
    // As the bytes of a UTF-8 file: the decoder skips every byte outside
    // ASCII, where a character outside Latin-1 would become '?', which it
    // would read as a digit.
    for (const QString& line : lines) offline_.OfflineInputLines.append(line.toStdString());
    decodeOfflineInput(title);
}

void TMainForm::setProgressText(std::string_view text) {
    setStatusText(3, QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    // " Display..." stands while the views take the lines, with no event
    // processing in between: draw it now, beside the counts it follows.
    if (countsPending_) {
        countsPending_ = false;
        setStatusText(2, QString::fromLatin1(pendingCounts_.data(),
                                             static_cast<qsizetype>(pendingCounts_.size())));
    }
    statusPanels_[1]->repaint();
    statusPanels_[2]->repaint();
}

void TMainForm::focusTextLog() {
    Memo1->setFocus();
}

void TMainForm::processPendingEvents() {
    if (++eventCheckCounter_ % kLinesPerClockCheck != 0) return;
    if (sinceEvents_.elapsed() < kEventIntervalMs) return;
    QCoreApplication::processEvents();
    sinceEvents_.restart();
}
