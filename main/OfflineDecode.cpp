// File > Decode: a saved log through the offline decoder into the views.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <exception>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "LogFile.h"
#include "LogLineReader.h"
#include "ReadWholeFile.h"
#include "UserDialogs.h"
#include "LogView.h"
#include "ZelvarMain.h"
#include "ZelvarOptions.h"

namespace {

constexpr unsigned kLinesPerClockCheck = 64;
// A decoding hands its lines on this many bytes at a time: the lists stay
// small beside the stores that gather them.
constexpr std::size_t kDecodedPieceBytes = 1 << 20;

// Reads a log's lines block by block with the decoder core's reader, the one
// zelvar-decode uses, into a list no larger than the file, refusing what is
// no regular file or more than kWholeFileLimit bytes however large the file
// claims to be; `between` runs after every line. Throws LogFileError; the
// list is empty then.
void readLogLines(const QString& path, zelvar::InputLineList& lines,
                  const std::function<void()>& between) {
    lines.clear();
    auto failed = [&path, &lines](const char* what, const char* reason) {
        lines.clear();
        return zelvar::LogFileError(QString::fromLatin1(what).arg(
            QDir::toNativeSeparators(path), QString::fromLocal8Bit(reason)));
    };
    std::optional<zelvar::FileDescriptor> file;
    try {
        file.emplace(zelvar::OpenRegularFile(QFile::encodeName(path).toStdString()));
    } catch (const zelvar::WholeFileError& error) {
        throw failed("Cannot open file \"%1\". %2", error.what());
    }
    try {
        struct stat info {};
        const auto claimed =
            ::fstat(file->get(), &info) == 0 ? static_cast<std::size_t>(info.st_size) : 0;
        if (claimed > zelvar::kWholeFileLimit) throw zelvar::TooLargeError(zelvar::kWholeFileLimit);
        lines.reserve(claimed + 1);
        zelvar::LogLineReader reader(file->get());
        std::string_view line;
        while (reader.next(line)) {
            if (reader.bytesRead() > zelvar::kWholeFileLimit) {
                throw zelvar::TooLargeError(zelvar::kWholeFileLimit);
            }
            lines.append(line);
            between();
        }
    } catch (const std::exception& error) {
        // A read error, a file grown past the limit, or no memory for it.
        throw failed("Cannot read file \"%1\". %2", error.what());
    }
}

}  // namespace

void TMainForm::mnuDecodeClick() {
    // The running decoding still reads its input list; a second one would
    // replace it under its feet.
    QString path;
    {
        const auto asking = busy_.tryBegin(zelvar::Command::Decode, zelvar::RunKind::Question);
        if (!asking) return;
        path = dialogs().openLogFile(this);
    }
    if (path.isEmpty()) return;
    decodeOfflineInput(QStringLiteral("File: ") + QFileInfo(path).fileName(), path);
}

void TMainForm::decodeOfflineInput(const QString& title, const QString& path) {
    QString failure;
    {
        // A stop asked for meanwhile (Esc, "Start Monitoring", a close)
        // holds for this decoding, from the reading of its file on: a log
        // of a million lines takes longer to read than the window may
        // stand still.
        const auto decoding = busy_.tryBegin(zelvar::Command::Decode, zelvar::RunKind::Decoding);
        if (!decoding) return;
        sinceEvents_.restart();
        bool decode = true;
        if (!path.isEmpty()) {
            try {
                readLogLines(path, offline_.OfflineInputLines, [this] { processPendingEvents(); });
            } catch (const zelvar::LogFileError& error) {
                failure = error.text();
            }
            // An empty or unreadable file changes nothing.
            decode = failure.isEmpty() && !offline_.OfflineInputLines.empty();
        }
        if (decode) failure = decodeInput(title);
    }
    // A close asked for while the decoding ran has been let go by now; it
    // waits for this box.
    if (!failure.isEmpty()) showError(failure);
}

QString TMainForm::decodeInput(const QString& title) {
    decoder_.ResetPortState();
    if (options_) options_->hide();
    if (editor_) editor_->setDecodeButtonEnabled(false);
    // The run is under way already while the changes above are drawn: the
    // events run here could otherwise start a second decoding or close the
    // window under it.
    busy_.letEventsThrough();
    QString failure;
    try {
        if (busy_.AbortDecoding()) {
            offline_.OfflineInputLines.clear();
        } else {
            offline_.DecodeLogLines(title.toStdString(), kDecodedPieceBytes);
            showDecoded();
        }
    } catch (const std::exception& error) {
        // Out of memory on a huge log, most likely: the views keep what
        // they had, and the program stays usable.
        offline_.OfflineInputLines.clear();
        decoder_.clearDecodedLines();
        decodedText_.clear();
        decodedHex_.clear();
        model_.setProgressText("");
        failure = QString::fromLocal8Bit(error.what());
    }
    if (editor_) editor_->setDecodeButtonEnabled(true);
    flushLogViews();
    return failure;
}

void TMainForm::drawStatusNow() {
    statusPanels_[1]->repaint();
    statusPanels_[2]->repaint();
}

void TMainForm::focusTextLog() {
    Memo1->setFocus();
}

void TMainForm::processPendingEvents() {
    if (++eventCheckCounter_ % kLinesPerClockCheck != 0) return;
    letEventsThroughIfDue();
}

void TMainForm::letEventsThroughIfDue() {
    if (sinceEvents_.elapsed() < eventIntervalMs_) return;
    busy_.letEventsThrough();
    sinceEvents_.restart();
}
