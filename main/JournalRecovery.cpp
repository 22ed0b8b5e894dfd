#include "JournalRecovery.h"

#include <sys/stat.h>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "DecoderOutput.h"
#include "LiveJournal.h"
#include "LogFile.h"
#include "OfflineDecoder.h"
#include "PackageDecoder.h"

namespace zelvar {

namespace {

class CollectedLines : public DecoderOutput {
public:
    void showDecodedLines(const LineList& textLines, const LineList&) override {
        text = textLines.text();
    }
    std::string text;
};

// Lines joined by LF, each then followed by CR LF as in a saved log.
QByteArray crlfLines(const std::string& lfText) {
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(lfText.size() + lfText.size() / 32));
    for (char c : lfText) {
        if (c == '\n') bytes.append('\r');
        bytes.append(c);
    }
    return bytes;
}

}  // namespace

std::vector<RecoveredJournal> RecoverJournals(const QString& folder, const Settings& settings) {
    std::vector<RecoveredJournal> recovered;
    for (AbandonedJournal& journal : TakeAbandonedJournals(QFile::encodeName(folder).toStdString())) {
        const QString path = QFile::decodeName(QByteArray::fromStdString(journal.path));
        QByteArray bytes;
        try {
            bytes = ReadLogFile(path);
        } catch (const LogFileError& error) {
            KeepJournal(journal);
            recovered.push_back({{}, 0, error.text()});
            continue;
        }
        // A line cut short by a power cut is no package.
        const qsizetype lastEnd = bytes.lastIndexOf('\n');
        bytes.truncate(lastEnd < 0 ? 0 : lastEnd + 1);
        if (bytes.isEmpty()) {
            ReleaseJournal(journal);
            continue;
        }

        // Recovered before, and killed before the journal went: it only goes now.
        if (SegmentSaved(journal.path)) {
            ReleaseJournal(journal);
            ForgetSegmentSaved(journal.path);
            continue;
        }

        struct stat info {};
        const QDateTime written = ::fstat(journal.fd, &info) == 0
                                      ? QDateTime::fromSecsSinceEpoch(info.st_mtim.tv_sec)
                                      : QDateTime::currentDateTime();
        const QString stamped = QDir(folder).filePath(
            written.toString(QStringLiteral("yyyyMMddhhmmss")) + QStringLiteral("_recovered"));

        DisplayMirrors mirrors;
        mirrors.OnlyRSSI = settings.OnlyRSSI;
        const GpsState gps;
        CollectedLines output;
        PackageDecoder decoder(settings, mirrors, gps, output);
        OfflineDecoder offline(decoder, mirrors);
        const LineList lines = LineList::fromText(bytes.toStdString());
        offline.OfflineInputLines.reserve(static_cast<std::size_t>(bytes.size()));
        for (std::size_t i = 0; i < lines.size(); ++i) offline.OfflineInputLines.append(lines[i]);
        const long packages = static_cast<long>(lines.size());
        decoder.ResetPortState();
        offline.DecodeLogLines(
            (QStringLiteral("File: ") + QFileInfo(stamped).fileName() + QStringLiteral(".hex"))
                .toStdString());

        QString base;
        std::unique_ptr<DurableFile> mark;
        LogPairFiles files(stamped);  // outlives the record of it on failure
        try {
            files.writeHex(bytes);
            ReachFaultPoint(FaultPoint::RecoveryMidway);
            files.writeText(crlfLines(output.text));
            base = files.place(Placement::KeepExisting, [&](const DurableFile& key) {
                mark = MarkSegmentSaved(journal.path, key);
                SyncFolder(QFile::encodeName(folder).toStdString());
            });
        } catch (const LogFileError& error) {
            if (mark) mark->unplace();
            KeepJournal(journal);
            recovered.push_back({{}, 0, error.text()});
            continue;
        }
        ReachFaultPoint(FaultPoint::BeforeRelease);
        ReleaseJournal(journal);
        if (mark) mark->unplace();
        recovered.push_back({base, packages, {}});
    }
    return recovered;
}

}  // namespace zelvar
