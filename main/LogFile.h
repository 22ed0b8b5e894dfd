#pragma once

#include <QByteArray>
#include <QString>
#include <stdexcept>

namespace zelvar {

// A log file that could not be read or written, with the system's reason.
class LogFileError : public std::runtime_error {
public:
    explicit LogFileError(const QString& text)
        : std::runtime_error(text.toStdString()), text_(text) {}
    const QString& text() const { return text_; }

private:
    QString text_;
};

// The bytes of a log file for the text of a view (lines joined by LF): every
// line followed by CR LF, one byte per character.
QByteArray LogFileBytes(const QString& viewText);

// Writes a whole log file. The bytes go to a temporary file beside it that
// replaces the old file only once it is complete, so a failed write leaves an
// older file of that name as it was. Throws LogFileError.
void WriteLogFile(const QString& path, const QByteArray& bytes);

// Reads a whole file. Throws LogFileError.
QByteArray ReadLogFile(const QString& path);

}  // namespace zelvar
