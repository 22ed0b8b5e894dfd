#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <string>

#include "LogFileError.h"

namespace zelvar {

// A document file that could not be read or written, with the system's
// reason: the error of the log files.
using DocumentFileError = LogFileError;

// Reads a whole regular file of at most kWholeFileLimit bytes, without
// waiting for a FIFO or reading a device without end. Throws
// DocumentFileError, or std::bad_alloc.
std::string ReadDocumentFile(const QString& path);

// Saves a whole file with SaveWholeFile, so a failed save leaves the older
// file as it was. Throws DocumentFileError.
void WriteDocumentFile(const QString& path, const QByteArray& bytes);

// The document a drop opens: the first dropped path, when it is an existing
// file ending in .rtf, .hex or .txt in any case; empty otherwise.
QString DroppedDocument(const QStringList& paths);

}  // namespace zelvar
