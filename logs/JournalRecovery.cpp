#include "JournalRecovery.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "DecoderOutput.h"
#include "LiveJournal.h"
#include "LogFile.h"
#include "LogLineReader.h"
#include "OfflineDecoder.h"
#include "PackageDecoder.h"

namespace zelvar {

namespace {

constexpr std::size_t kCopyBlock = std::size_t{1} << 20;
// A package's stamped line is a few hundred characters: a far longer one
// tells a file that is no journal of ours, and would make the line reader
// hold all of it.
constexpr std::size_t kLongestLine = 64 * 1024;

struct Stopped {};
struct NotAJournal {};

// Every line of a journal is checked: one look-up a character.
constexpr auto kHexDigits = [] {
    std::array<bool, 256> digits{};
    for (const char c : std::string_view("0123456789ABCDEFabcdef")) {
        digits[static_cast<unsigned char>(c)] = true;
    }
    return digits;
}();

bool isHexDigit(char c) {
    return kHexDigits[static_cast<unsigned char>(c)];
}

// The one form the live journal writes a line in (LF aside): the port 1..4,
// "$", the stamp in 8 to 16 hex digits, a tab, the package's bytes as hex
// pairs with single blanks, CR. (The program writes its digits in upper
// case; the reader takes either.)
bool isJournalLine(std::string_view line) {
    if (line.size() < 2 || line[0] < '1' || line[0] > '4' || line[1] != '$' ||
        line.back() != '\r') {
        return false;
    }
    line = line.substr(2, line.size() - 3);
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos || tab < 8 || tab > 16) return false;
    for (std::size_t i = 0; i < tab; ++i) {
        if (!isHexDigit(line[i])) return false;
    }
    const std::string_view bytes = line.substr(tab + 1);
    if (bytes.empty() || (bytes.size() + 1) % 3 != 0) return false;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        if (!isHexDigit(bytes[i]) || !isHexDigit(bytes[i + 1])) return false;
        if (i + 2 < bytes.size() && bytes[i + 2] != ' ') return false;
    }
    return true;
}

// Every line of `lines` (each ended by LF) is one the journal writes.
void checkJournalLines(std::string_view lines) {
    while (!lines.empty()) {
        const std::size_t lf = lines.find('\n');
        if (!isJournalLine(lines.substr(0, lf))) throw NotAJournal{};
        lines.remove_prefix(lf + 1);
    }
}

QString fromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

// The share of the work done, reported as it grows by a whole percent.
class Progress {
public:
    Progress(const RecoveryControl& control, std::uint64_t total)
        : control_(control), total_(total == 0 ? 1 : total) {}
    void reach(std::uint64_t done) {
        if (control_.stop != nullptr && control_.stop->load()) throw Stopped{};
        const int percent = static_cast<int>(std::min<std::uint64_t>(done * 100 / total_, 100));
        if (percent == shown_ || !control_.progress) return;
        shown_ = percent;
        control_.progress(percent);
    }

private:
    const RecoveryControl& control_;
    const std::uint64_t total_;
    int shown_ = -1;
};

// The decoded lines go to the .txt as they come, each followed by CR LF.
class TextToFile : public DecoderOutput {
public:
    TextToFile(LogPairFiles& files, Progress& progress, std::uint64_t start, int hexFd)
        : files_(files), progress_(progress), start_(start), hexFd_(hexFd) {}

    void showDecodedLines(const LineList& textLines, const LineList&) override {
        const std::string& text = textLines.text();
        bytes_.clear();
        bytes_.reserve(static_cast<qsizetype>(text.size() + text.size() / 16));
        for (const char c : text) {
            if (c == '\n') bytes_.append('\r');
            bytes_.append(c);
        }
        files_.writeText(bytes_);
        if (!midway_) {
            midway_ = true;
            ReachFaultPoint(FaultPoint::RecoveryMidway);
        }
    }

    void processPendingEvents() override {
        if (++lines_ % 4096 != 0) return;
        const off_t read = ::lseek(hexFd_, 0, SEEK_CUR);
        progress_.reach(start_ + static_cast<std::uint64_t>(read < 0 ? 0 : read));
    }

private:
    LogPairFiles& files_;
    Progress& progress_;
    const std::uint64_t start_;
    const int hexFd_;
    QByteArray bytes_;
    std::uint64_t lines_ = 0;
    bool midway_ = false;
};

// Copies the journal's complete lines into the .hex; a line cut short by a
// power cut at its end is no package. Gives the bytes copied.
std::uint64_t copyLines(const AbandonedJournal& journal, LogPairFiles& files, Progress& progress,
                        std::uint64_t start) {
    const auto buffer = std::make_unique<char[]>(kCopyBlock);
    QByteArray piece;
    std::uint64_t read = 0;
    std::uint64_t copied = 0;
    std::size_t sinceLf = 0;  // bytes of the line not yet ended
    while (true) {
        const ssize_t got = ::read(journal.fd, buffer.get(), kCopyBlock);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            throw LogFileError(QStringLiteral("Cannot read file \"%1\". %2")
                                   .arg(fromLocal(journal.path), fromLocal(std::strerror(errno))));
        }
        if (got == 0) break;
        const auto size = static_cast<std::size_t>(got);
        const char* data = buffer.get();
        // Every stretch of kLongestLine bytes holds a line end.
        std::size_t from = 0;  // where the unended line began, less sinceLf
        while (sinceLf + (size - from) > kLongestLine) {
            const std::size_t window = kLongestLine - sinceLf;
            const void* lf = ::memrchr(data + from, '\n', window);
            if (lf == nullptr) throw NotAJournal{};
            from = static_cast<std::size_t>(static_cast<const char*>(lf) - data) + 1;
            sinceLf = 0;
        }
        const void* last = ::memrchr(data, '\n', size);
        if (last == nullptr) {
            piece.append(data, static_cast<qsizetype>(size));
            sinceLf += size - from;
        } else {
            const auto end = static_cast<std::size_t>(static_cast<const char*>(last) - data) + 1;
            piece.append(data, static_cast<qsizetype>(end));
            checkJournalLines(
                std::string_view(piece.constData(), static_cast<std::size_t>(piece.size())));
            files.writeHex(piece);
            copied += static_cast<std::uint64_t>(piece.size());
            piece = QByteArray(data + end, static_cast<qsizetype>(size - end));
            sinceLf = size - end;
        }
        read += size;
        progress.reach(start + read);
    }
    return copied;
}

QString stampedBase(const QString& folder, const AbandonedJournal& journal) {
    struct stat info {};
    const QDateTime written = ::fstat(journal.fd, &info) == 0
                                  ? QDateTime::fromSecsSinceEpoch(info.st_mtim.tv_sec)
                                  : QDateTime::currentDateTime();
    return QDir(folder).filePath(written.toString(QStringLiteral("yyyyMMddhhmmss")) +
                                 QStringLiteral("_recovered"));
}

// Decodes the copied lines, read back from the .hex as File > Decode reads a
// log. Gives the packages.
long decodeLines(const QString& stamped, LogPairFiles& files, const Settings& settings,
                 Progress& progress, std::uint64_t start) {
    const DurableFile* hex = files.keyFile();
    const int fd = ::open(hex->path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw LogFileError(QStringLiteral("Cannot read file \"%1\". %2")
                               .arg(stamped + QStringLiteral(".hex"), fromLocal(std::strerror(errno))));
    }
    struct Closing {
        int fd;
        ~Closing() { ::close(fd); }
    } closing{fd};
    DisplayMirrors mirrors;
    mirrors.OnlyRSSI = settings.OnlyRSSI;
    const GpsState gps;
    TextToFile output(files, progress, start, fd);
    PackageDecoder decoder(settings, mirrors, gps, output);
    OfflineDecoder offline(decoder, mirrors);
    decoder.ResetPortState();
    LogLineReader lines(fd);
    try {
        offline.DecodeLogStream(
            (QStringLiteral("File: ") + QFileInfo(stamped).fileName() + QStringLiteral(".hex"))
                .toStdString(),
            lines);
    } catch (const std::system_error& error) {
        throw LogFileError(QStringLiteral("Cannot read file \"%1\". %2")
                               .arg(stamped + QStringLiteral(".hex"), fromLocal(error.code().message())));
    }
    return static_cast<long>(decoder.hexCount());
}

}  // namespace

std::vector<RecoveredJournal> RecoverJournals(const QString& folder, const Settings& settings,
                                              const RecoveryControl& control) {
    const std::string folderName = QFile::encodeName(folder).toStdString();
    // Only files whose writer is gone: this run's own saves, and those of
    // another program saving just now, hold their lock.
    RemoveLeftTemporaries(folderName);
    std::vector<AbandonedJournal> journals = TakeAbandonedJournals(folderName);
    std::uint64_t total = 0;
    for (const AbandonedJournal& journal : journals) total += 2 * journal.bytes;
    Progress progress(control, total);
    std::uint64_t done = 0;

    std::vector<RecoveredJournal> recovered;
    for (std::size_t next = 0; next < journals.size(); ++next) {
        AbandonedJournal& journal = journals[next];
        if (journal.fd < 0) {
            recovered.push_back({{}, 0, fromLocal(journal.problem)});
            continue;
        }
        // Recovered before, and killed before the journal went: it only goes now.
        if (SegmentSaved(journal.path)) {
            ReleaseJournal(journal);
            ForgetSegmentSaved(journal.path);
            continue;
        }
        const QString stamped = stampedBase(folder, journal);
        QString base;
        long packages = 0;
        std::unique_ptr<DurableFile> mark;
        LogPairFiles files(stamped);  // outlives the record of it on failure
        try {
            const std::uint64_t copied = copyLines(journal, files, progress, done);
            if (copied == 0) {
                ReleaseJournal(journal);
                done += 2 * journal.bytes;
                continue;
            }
            packages = decodeLines(stamped, files, settings, progress, done + journal.bytes);
            base = files.place(Placement::KeepExisting, [&](const DurableFile& key) {
                mark = MarkSegmentSaved(journal.path, key);
                SyncFolder(folderName);
            });
        } catch (const LogFileError& error) {
            // The .hex stands, the .txt could not follow: the packages are saved.
            if (mark && SegmentSaved(journal.path)) {
                ReleaseJournal(journal);
                mark->unplace();
                recovered.push_back({{}, 0, error.text() + QStringLiteral(" The packages are in the .hex.")});
                continue;
            }
            if (mark) mark->unplace();
            KeepJournal(journal);
            recovered.push_back({{}, 0, error.text()});
            continue;
        } catch (const NotAJournal&) {
            KeepJournal(journal);
            std::string why;
            const std::string aside = SetJournalAside(journal.path, why);
            QString text = QStringLiteral("\"%1\" has lines no journal has").arg(fromLocal(journal.path));
            if (aside.empty()) {
                text += QStringLiteral(". ") + fromLocal(why);
            } else {
                text += QStringLiteral(": set aside as \"%1\"").arg(QFileInfo(fromLocal(aside)).fileName());
            }
            recovered.push_back({{}, 0, text});
            continue;
        } catch (const Stopped&) {
            // The next start recovers it, and those after it, once.
            for (std::size_t left = next; left < journals.size(); ++left) KeepJournal(journals[left]);
            break;
        }
        ReachFaultPoint(FaultPoint::BeforeRelease);
        ReleaseJournal(journal);
        if (mark) mark->unplace();
        done += 2 * journal.bytes;
        recovered.push_back({base, packages, {}});
    }
    return recovered;
}

}  // namespace zelvar
