#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <memory>

#include "DurableFile.h"
#include "LogFileError.h"

namespace zelvar {

// The bytes of a log file for the text of a view (lines joined by LF): every
// line followed by CR LF, in UTF-8.
QByteArray LogFileBytes(const QString& viewText);

// The two files of one save, base + ".txt" and base + ".hex", each made only
// when written to, and given their names together.
class LogPairFiles {
public:
    // Throws LogFileError.
    explicit LogPairFiles(const QString& base);
    ~LogPairFiles();
    void writeText(const QByteArray& bytes);
    void writeHex(const QByteArray& bytes);
    bool hasText() const { return text_ != nullptr; }
    bool hasHex() const { return hex_ != nullptr; }
    // The file a save is known by: the .hex when there is one, else the .txt.
    const DurableFile* keyFile() const;
    // Pushes both to the disk; then `beforePlacing` (may throw LogFileError)
    // records what is about to be placed, and both get their names: the base
    // itself with Replace; with KeepExisting the first of base, base_1,
    // base_2 ... where neither name is taken, both files always under one.
    // The folder is synced. Gives the base used. Throws LogFileError.
    QString place(Placement placement, const std::function<void(const DurableFile&)>& beforePlacing = {});

private:
    DurableFile& make(std::unique_ptr<DurableFile>& file, const char* extension);

    QString base_;
    std::unique_ptr<DurableFile> text_;
    std::unique_ptr<DurableFile> hex_;
};

}  // namespace zelvar
