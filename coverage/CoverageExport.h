#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CoverageFormats.h"

namespace zelvar {

class LogLineReader;

// The lines of one log, readable more than once: a format that groups by
// port reads its logs again for each further port rather than holding the
// reports.
class CoverageSource {
public:
    virtual ~CoverageSource() = default;
    // Back to the first line.
    virtual void rewind() = 0;
    // The next line without its line end, valid until the next call; false
    // after the last. May throw std::system_error when the log cannot be read.
    virtual bool next(std::string_view& line) = 0;
    // Lines too long to be log lines, skipped since the last rewind.
    virtual std::size_t skippedLines() const = 0;
};

// A log file open as `fd` (kept open and owned by the caller), read a block
// at a time.
class FileCoverageSource : public CoverageSource {
public:
    explicit FileCoverageSource(int fd);
    ~FileCoverageSource() override;
    void rewind() override;
    bool next(std::string_view& line) override;
    std::size_t skippedLines() const override;

private:
    int fd_;
    std::unique_ptr<LogLineReader> reader_;
};

// A log held in memory, such as the bytes a save would write. The text must
// outlive the source.
class TextCoverageSource : public CoverageSource {
public:
    explicit TextCoverageSource(std::string_view text) : text_(text) {}
    void rewind() override { at_ = 0; }
    bool next(std::string_view& line) override;
    std::size_t skippedLines() const override { return 0; }

private:
    std::string_view text_;
    std::size_t at_ = 0;
};

struct CoverageOptions {
    CoverageFormat format = CoverageFormat::Kml;
    std::vector<int> ports;          // empty: every port
    std::optional<double> minDbm;    // keeps readings >= this and "Max"
    std::optional<double> maxPdop;   // keeps PDOPs <= this, never "Err"
    int gmtCorrection = 0;           // of the settings the logs were written with
};

struct CoverageCounts {
    std::uint64_t withPosition = 0;
    std::uint64_t kept = 0;  // of those with a position, the ones the filters let through
    std::uint64_t withoutPosition = 0;
    std::uint64_t unreadable = 0;
};

// "12 reports with position (10 kept), 3 without, 0 unreadable lines".
std::string CoverageCountsText(const CoverageCounts& counts);

// Whether the filters keep a report.
bool CoverageKeeps(const CoverageOptions& options, const CoverageReport& report);

// Writes the export of `logs`, in their order, piece by piece to `write`.
// Memory stays that of a few blocks whatever the size of the logs.
CoverageCounts WriteCoverage(const std::vector<CoverageSource*>& logs,
                             const CoverageOptions& options,
                             const std::function<void(std::string_view)>& write);

// Whether a log holds at least one own-position line.
bool HasOwnPositionLine(CoverageSource& log, int gmtCorrection);

}  // namespace zelvar
