#include "CoverageExport.h"

#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <system_error>

#include "LogLineReader.h"

namespace zelvar {

namespace {

// Output leaves in pieces of about this size.
constexpr std::size_t kWriteBlock = 256 * 1024;

}  // namespace

FileCoverageSource::FileCoverageSource(int fd) : fd_(fd) { rewind(); }

FileCoverageSource::~FileCoverageSource() = default;

void FileCoverageSource::rewind() {
    if (::lseek(fd_, 0, SEEK_SET) < 0) throw std::system_error(errno, std::generic_category());
    reader_ = std::make_unique<LogLineReader>(fd_, kLogReadBlock, kLongestLogLine);
}

bool FileCoverageSource::next(std::string_view& line) { return reader_->next(line); }

std::size_t FileCoverageSource::skippedLines() const { return reader_->skippedLines(); }

bool TextCoverageSource::next(std::string_view& line) {
    // Lines end at CR LF, LF or a lone CR, as in a log read from a file; a
    // line end at the very end starts no other line.
    if (at_ >= text_.size()) return false;
    const std::size_t end = text_.find_first_of("\r\n", at_);
    if (end == std::string_view::npos) {
        line = text_.substr(at_);
        at_ = text_.size();
        return true;
    }
    line = text_.substr(at_, end - at_);
    at_ = end + 1;
    if (text_[end] == '\r' && at_ < text_.size() && text_[at_] == '\n') ++at_;
    return true;
}

std::string CoverageCountsText(const CoverageCounts& counts) {
    std::string text = std::to_string(counts.withPosition);
    text.append(counts.withPosition == 1 ? " report" : " reports");
    text.append(" with position (").append(std::to_string(counts.kept));
    text.append(" kept), ").append(std::to_string(counts.withoutPosition));
    text.append(" without, ").append(std::to_string(counts.unreadable));
    text.append(counts.unreadable == 1 ? " unreadable line" : " unreadable lines");
    return text;
}

bool CoverageKeeps(const CoverageOptions& options, const CoverageReport& report) {
    if (!options.ports.empty() &&
        std::find(options.ports.begin(), options.ports.end(), report.port) ==
            options.ports.end()) {
        return false;
    }
    if (options.minDbm) {
        if (report.dbmForm == DbmForm::Dash || report.dbmForm == DbmForm::Empty) return false;
        if (report.dbmForm == DbmForm::Number && report.dbm < *options.minDbm) return false;
    }
    if (options.maxPdop && (!report.pdopKnown || report.pdop > *options.maxPdop)) return false;
    return true;
}

CoverageCounts WriteCoverage(const std::vector<CoverageSource*>& logs,
                             const CoverageOptions& options,
                             const std::function<void(std::string_view)>& write) {
    std::string out;
    out.reserve(kWriteBlock + 4096);
    auto flushIfFull = [&] {
        if (out.size() < kWriteBlock) return;
        write(out);
        out.clear();
    };
    const std::unique_ptr<CoverageWriter> writer = MakeCoverageWriter(options.format, out);
    const bool grouped = writer->groupsByPort();
    writer->begin();

    // The first pass counts, and writes at once what is not grouped, and
    // the group of port 1, which comes first.
    CoverageCounts counts;
    std::array<bool, 5> portKept{};
    CoverageReport report;
    for (CoverageSource* log : logs) {
        log->rewind();
        std::string_view line;
        while (log->next(line)) {
            switch (ReadCoverageLine(line, options.gmtCorrection, report)) {
                case CoverageLineKind::WithPosition:
                    ++counts.withPosition;
                    if (!CoverageKeeps(options, report)) break;
                    ++counts.kept;
                    if (grouped && report.port == 1 && !portKept[1]) writer->beginPort(1);
                    portKept[static_cast<std::size_t>(report.port)] = true;
                    if (!grouped || report.port == 1) {
                        writer->report(report);
                        flushIfFull();
                    }
                    break;
                case CoverageLineKind::WithoutPosition: ++counts.withoutPosition; break;
                case CoverageLineKind::Unreadable: ++counts.unreadable; break;
                case CoverageLineKind::Other: break;
            }
        }
        counts.unreadable += log->skippedLines();
    }

    if (grouped && portKept[1]) writer->endPort();

    // Then one pass per further port present, which reads only that port's lines.
    for (int port = 2; grouped && port <= 4; ++port) {
        if (!portKept[static_cast<std::size_t>(port)]) continue;
        writer->beginPort(port);
        for (CoverageSource* log : logs) {
            log->rewind();
            std::string_view line;
            while (log->next(line)) {
                if (CoverageLinePort(line) != port) continue;
                if (ReadCoverageLine(line, options.gmtCorrection, report) ==
                        CoverageLineKind::WithPosition &&
                    CoverageKeeps(options, report)) {
                    writer->report(report);
                    flushIfFull();
                }
            }
        }
        writer->endPort();
    }
    writer->end();
    if (!out.empty()) write(out);
    return counts;
}

bool HasOwnPositionLine(CoverageSource& log, int gmtCorrection) {
    log.rewind();
    CoverageReport report;
    std::string_view line;
    while (log.next(line)) {
        if (ReadCoverageLine(line, gmtCorrection, report) == CoverageLineKind::WithPosition) {
            return true;
        }
    }
    return false;
}

}  // namespace zelvar
