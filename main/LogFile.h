#pragma once

#include <QByteArray>
#include <QList>
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
// line followed by CR LF, in UTF-8.
QByteArray LogFileBytes(const QString& viewText);

// Writes a whole log file. The bytes go to a temporary file beside it that
// replaces the old file only once it is complete, so a failed write leaves an
// older file of that name as it was. Throws LogFileError.
void WriteLogFile(const QString& path, const QByteArray& bytes);
// The same for a file made of several pieces, written one after the other.
void WriteLogFile(const QString& path, const QList<QByteArray>& pieces);

// The base name for an automatic save: the stamped base itself, or, when a log
// of that name is there already (a second save in the same second), the base
// with "_1", "_2" ... added, so that no earlier log is ever replaced.
QString FreeLogBase(const QString& base);

// Reads a whole file. Throws LogFileError.
QByteArray ReadLogFile(const QString& path);

}  // namespace zelvar
