// The offline decoding run: a saved log, or the editor's lines, through the
// offline decoder into the views, letting window events through as it goes.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <exception>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "LogFileError.h"
#include "LogLineReader.h"
#include "MonitorModel.h"
#include "ReadWholeFile.h"

namespace zelvar {

namespace {

constexpr unsigned kLinesPerClockCheck = 64;
// A decoding hands its lines on this many bytes at a time: the lists stay
// small beside the stores that gather them.
constexpr std::size_t kDecodedPieceBytes = 1 << 20;

// Reads a log's lines block by block with the decoder core's reader, the one
// zelvar-decode uses, into the offline decoder's input, no larger than the
// file, refusing what is no regular file or more than kWholeFileLimit bytes
// however large the file claims to be; `between` runs after every line.
// Throws LogFileError; the input is empty then.
void readLogLines(const QString& path, OfflineDecoder& offline,
                  const std::function<void()>& between) {
    offline.clearInput();
    auto failed = [&path, &offline](const char* what, const char* reason) {
        offline.clearInput();
        return LogFileError(QString::fromLatin1(what).arg(QDir::toNativeSeparators(path),
                                                          QString::fromLocal8Bit(reason)));
    };
    std::optional<FileDescriptor> file;
    try {
        file.emplace(OpenRegularFile(QFile::encodeName(path).toStdString()));
    } catch (const WholeFileError& error) {
        throw failed("Cannot open file \"%1\". %2", error.what());
    }
    try {
        struct stat info {};
        const auto claimed =
            ::fstat(file->get(), &info) == 0 ? static_cast<std::size_t>(info.st_size) : 0;
        if (claimed > kWholeFileLimit) throw TooLargeError(kWholeFileLimit);
        offline.reserveInput(claimed + 1);
        LogLineReader reader(file->get());
        std::string_view line;
        while (reader.next(line)) {
            if (reader.bytesRead() > kWholeFileLimit) throw TooLargeError(kWholeFileLimit);
            offline.appendInput(line);
            between();
        }
    } catch (const std::exception& error) {
        // A read error, a file grown past the limit, or no memory for it.
        throw failed("Cannot read file \"%1\". %2", error.what());
    }
}

}  // namespace

void MonitorModel::decodeChosen() {
    // The running decoding still reads its input list; a second one would
    // replace it under its feet.
    QString path;
    {
        const auto asking = busy_.tryBegin(Command::Decode, RunKind::Question);
        if (!asking) return;
        path = dialogs_.openLogFile();
    }
    if (path.isEmpty()) return;
    decodeOfflineInput(QStringLiteral("File: ") + QFileInfo(path).fileName(), path);
}

void MonitorModel::decodeOfflineInput(const QString& title, const QString& path) {
    QString failure;
    {
        // A stop asked for meanwhile (Esc, "Start Monitoring", a close)
        // holds for this decoding, from the reading of its file on: a log
        // of a million lines takes longer to read than the window may
        // stand still.
        const auto decoding = busy_.tryBegin(Command::Decode, RunKind::Decoding);
        if (!decoding) return;
        sinceEvents_.restart();
        bool decode = true;
        if (!path.isEmpty()) {
            try {
                readLogLines(path, offline_, [this] { processPendingEvents(); });
            } catch (const LogFileError& error) {
                failure = error.text();
            }
            // An empty or unreadable file changes nothing.
            decode = failure.isEmpty() && !offline_.input().empty();
        }
        if (decode) failure = decodeInput(title);
    }
    // A close asked for while the decoding ran has been let go by now; it
    // waits for this box.
    if (!failure.isEmpty()) showError(failure);
}

QString MonitorModel::decodeInput(const QString& title) {
    decoder_.ResetPortState();
    view_.phaseChanged(RunPhase::DecodingStarting);
    // The run is under way already while the changes above are drawn: the
    // events run here could otherwise start a second decoding or close the
    // window under it.
    busy_.letEventsThrough();
    QString failure;
    try {
        if (busy_.AbortDecoding()) {
            offline_.clearInput();
        } else {
            offline_.DecodeLogLines(title.toStdString(), kDecodedPieceBytes);
            showDecoded();
        }
    } catch (const std::exception& error) {
        // Out of memory on a huge log, most likely: the views keep what
        // they had, and the program stays usable.
        offline_.clearInput();
        decoder_.clearDecodedLines();
        decodedText_.clear();
        decodedHex_.clear();
        setProgressText("");
        failure = QString::fromLocal8Bit(error.what());
    }
    view_.phaseChanged(RunPhase::DecodingEnded);
    flushLogViews();
    return failure;
}

void MonitorModel::showDecodedLines(const LineList& textLines, const LineList& hexLines) {
    // A portion of the running decoding: gathered in stores the views take
    // over whole once it ends, so the lists are never held beside a copy.
    decodedText_.appendLines(textLines.joined());
    decodedHex_.appendLines(hexLines.joined());
}

void MonitorModel::showDecoded() {
    flushLogViews();
    // The text log first: it ends in the line that says how the run ended.
    view_.appendStore(LogPane::Text, std::move(decodedText_));
    view_.appendStore(LogPane::Hex, std::move(decodedHex_));
}

void MonitorModel::processPendingEvents() {
    if (++eventCheckCounter_ % kLinesPerClockCheck != 0) return;
    letEventsThroughIfDue();
}

void MonitorModel::letEventsThroughIfDue() {
    if (sinceEvents_.elapsed() < eventIntervalMs_) return;
    busy_.letEventsThrough();
    sinceEvents_.restart();
}

}  // namespace zelvar
